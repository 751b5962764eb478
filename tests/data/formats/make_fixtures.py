#!/usr/bin/python3
"""Writes the contact files of every kind the tool reads, each holding the same
contacts as contacts.xlsx, for tst_formats.

Real writers make them where there is one: openpyxl the .xlsx, Python's csv
module with its codecs the CSV and text files (as Excel, WPS and CRM systems
save them), LibreOffice (headless) the .ods, .xlsm, .xltx and .xlt files.
Web pages and XML spreadsheets are written by hand the
way web systems write their "Excel" exports.

Run from anywhere: /usr/bin/python3 make_fixtures.py (python3-openpyxl and
libreoffice-calc-nogui from Debian). The files are committed; the tests read
only them. Rerun only to change them.
"""
import codecs
import csv
import datetime
import html
import os
import shutil
import subprocess
import tempfile
import zipfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))

TITLE = "客户通讯录"
HEADING = ["姓名", "手机", "电话", "备注"]
# A title and a heading above the data; mobile numbers stored as numbers and
# as text; a telephone number and a code with leading zeros; remarks with a
# comma, quotes and a line break; a mobile number followed by a landline; a
# landline alone; a name without a mobile number; numbers in the telephone
# and remark columns; three blank rows passed over and the fourth ending the
# pass.
CUSTOMERS = [
    ["张三", 13812345678, "0755-1234567", "老客户,重要"],
    ["李四", "13912345678", "007", '他说"你好"'],
    ["王五", "15012345678", "", "第一行\n第二行"],
    ["", "18612345678 010-12345678", "", ""],
    ["赵六", "010-87654321", "", "A&B <c>"],
    ["钱七", "", "", "无手机"],
    ["", "", "", ""],
    ["孙八", 19912345678, 8001, 1.5],
    ["周九 Zhou", "17712345678", "", "第2组；备注"],
    ["", "", "", ""],
    ["", "", "", ""],
    ["", "", "", ""],
    ["第四个空行之后", "13700000000", "", ""],
]
SUPPLIERS = [
    ["供应商甲", "13900000001", "", ""],
    ["供应商乙", "13900000002", "", "A&B"],
]
SHEETS = [("客户", [[TITLE, "", "", ""], HEADING] + CUSTOMERS), ("供应商", [HEADING] + SUPPLIERS)]


def path(name):
    return os.path.join(HERE, name)


def write_xlsx(name, sheets):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for title, rows in sheets:
        sheet = book.create_sheet(title)
        for row in rows:
            sheet.append([None if value == "" else value for value in row])
    book.save(path(name))


def csv_rows():
    return SHEETS[0][1]


def write_csv(name, encoding, delimiter=",", lineterminator="\r\n"):
    with codecs.open(path(name), "w", encoding) as f:
        writer = csv.writer(f, delimiter=delimiter, lineterminator=lineterminator)
        writer.writerows(csv_rows())


def cell_html(value):
    """A cell as a web system writes it: escaped, line breaks as <br>, an empty cell as &nbsp;"""
    if value == "":
        return "&nbsp;"
    return "<br>".join(html.escape(str(value), quote=False) for value in str(value).split("\n"))


def table_html(rows, caption=None, title=True):
    out = ["<table border=\"1\" cellspacing=\"0\">"]
    if caption:
        out.append("<caption>%s</caption>" % caption)
    for index, row in enumerate(rows):
        if title and index == 0:
            out.append("<tr><td colspan=\"4\" class=\"title\"> %s </td></tr>" % row[0])
        elif title and index == 1:
            out.append("<tr>" + "".join("<th>%s</th>" % h for h in row) + "</tr>")
        else:
            out.append("<tr>\n  " + "\n  ".join(
                "<td style=\"mso-number-format:'\\@'\">%s</td>" % cell_html(v) for v in row) + "\n</tr>")
    out.append("</table>")
    return "\n".join(out)


def write_web_export():
    """One table in GBK, declared GB2312 in a <meta>, named .xls, as web systems export "Excel"."""
    page = ("<html xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
            "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" xmlns=\"http://www.w3.org/TR/REC-html40\">\n"
            "<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n"
            "<title>客户导出</title>\n<style>td { mso-number-format:\"\\@\"; } .title { font-weight: bold; }</style>\n"
            "<script>var exported = \"<td>不是单元格</td>\";</script>\n</head>\n<body>\n"
            + table_html(csv_rows()) + "\n</body>\n</html>\n")
    with codecs.open(path("web_export.xls"), "w", "gbk") as f:
        f.write(page)


def write_web_page():
    """Two tables with captions in UTF-8 without any declaration, as a saved web page."""
    page = ("<!DOCTYPE html>\n<html><body>\n<p>导出时间：2024-01-01</p>\n"
            + table_html(SHEETS[0][1], caption="客户") + "\n"
            + table_html(SHEETS[1][1], caption="供应商", title=False) + "\n</body></html>\n")
    with open(path("web_page.html"), "w", encoding="utf-8") as f:
        f.write(page)


def spreadsheet_cell(value, index=None, prefix=""):
    """A cell; its elements in the default namespace or with `prefix`, its attributes always with ss:"""
    p = prefix
    attributes = " ss:Index=\"%d\"" % index if index else ""
    if isinstance(value, (int, float)):
        kind, text = "Number", str(value)
    else:
        kind, text = "String", html.escape(value, quote=False).replace("\n", "&#10;")
    return "<%sCell%s><%sData ss:Type=\"%s\">%s</%sData></%sCell>" % (p, attributes, p, kind, text, p, p)


def spreadsheet_rows(rows, prefix="", first=1):
    """Rows from row `first` on as Excel writes them: empty cells and rows left out, ss:Index where one was skipped."""
    p = prefix
    out = []
    skipped_row = False
    for number, row in enumerate(rows, start=first):
        if all(v == "" for v in row):
            skipped_row = True
            continue
        cells = []
        skipped_cell = False
        for column, value in enumerate(row, start=1):
            if value == "":
                skipped_cell = True
                continue
            cells.append(spreadsheet_cell(value, column if skipped_cell else None, p))
            skipped_cell = False
        attributes = " ss:Index=\"%d\"" % number if skipped_row else ""
        out.append("<%sRow%s>%s</%sRow>" % (p, attributes, "".join(cells), p))
        skipped_row = False
    return "\n".join(out)


def write_excel_2003_xml():
    """As Excel 2003 saves "XML Spreadsheet": default namespace, a merged title, a comment, formatted text."""
    customers = SHEETS[0][1]
    rows = spreadsheet_rows(customers[2:], first=3)
    title = ("<Row><Cell ss:MergeAcross=\"3\" ss:StyleID=\"s21\"><Data ss:Type=\"String\">%s</Data>"
             "<Comment ss:Author=\"admin\"><ss:Data xmlns=\"http://www.w3.org/TR/REC-html40\">"
             "<B>批注不是单元格的值</B></ss:Data></Comment></Cell></Row>\n" % TITLE)
    heading = ("<Row>" + "".join(
        "<Cell><ss:Data ss:Type=\"String\" xmlns=\"http://www.w3.org/TR/REC-html40\"><B>%s</B></ss:Data></Cell>"
        % h for h in HEADING) + "</Row>\n")
    document = ("<?xml version=\"1.0\"?>\n<?mso-application progid=\"Excel.Sheet\"?>\n"
                "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
                " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\n"
                " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\n"
                " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
                " xmlns:html=\"http://www.w3.org/TR/REC-html40\">\n"
                " <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\"><Author>admin</Author>"
                "</DocumentProperties>\n"
                " <Styles><Style ss:ID=\"Default\" ss:Name=\"Normal\"><Font ss:FontName=\"宋体\"/></Style>"
                "<Style ss:ID=\"s21\"><Font ss:Bold=\"1\"/></Style></Styles>\n"
                " <Worksheet ss:Name=\"客户\">\n  <Table ss:ExpandedColumnCount=\"4\" ss:ExpandedRowCount=\"%d\" "
                "x:FullColumns=\"1\" x:FullRows=\"1\">\n   <Column ss:Width=\"80\"/>\n"
                % len(customers)
                + title + heading + rows
                + "\n  </Table>\n  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">"
                "<Selected/></WorksheetOptions>\n </Worksheet>\n"
                " <Worksheet ss:Name=\"供应商\">\n  <Table>\n"
                + spreadsheet_rows(SHEETS[1][1]) + "\n  </Table>\n </Worksheet>\n</Workbook>\n")
    with open(path("excel_2003.xml"), "w", encoding="utf-8") as f:
        f.write(document)


def write_web_system_xml():
    """As web systems write the XML spreadsheet: ss: prefixes throughout, GB2312 declared, named .xls."""
    rows = SHEETS[0][1]
    body = spreadsheet_rows(rows, prefix="ss:")
    document = ("<?xml version=\"1.0\" encoding=\"gb2312\"?>\n"
                "<ss:Workbook xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\n"
                "<ss:Worksheet ss:Name=\"客户\">\n<ss:Table>\n" + body + "\n</ss:Table>\n</ss:Worksheet>\n"
                "</ss:Workbook>\n")
    with codecs.open(path("web_system_2003.xls"), "w", "gbk") as f:
        f.write(document)


def libreoffice(source, target_name, filter_name):
    """Converts source with LibreOffice headless and stores the result as target_name."""
    with tempfile.TemporaryDirectory() as out, tempfile.TemporaryDirectory() as profile:
        extension = os.path.splitext(target_name)[1][1:]
        subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless",
                        "--convert-to", "%s:%s" % (extension, filter_name), "--outdir", out, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        produced = os.path.join(out, os.path.splitext(os.path.basename(source))[0] + "." + extension)
        shutil.move(produced, path(target_name))


def write_macro_template(source_name, target_name):
    """An .xltm: LibreOffice writes no such file, so the .xltx's main part gets that content type."""
    with zipfile.ZipFile(path(source_name)) as source, zipfile.ZipFile(path(target_name), "w",
                                                                       zipfile.ZIP_DEFLATED) as target:
        for item in source.infolist():
            data = source.read(item.filename)
            if item.filename == "[Content_Types].xml":
                data = data.replace(b"application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
                                    b"application/vnd.ms-excel.template.macroEnabled.main+xml")
            target.writestr(item, data)


# Every kind of value, to compare the cell texts of the readers: written by
# openpyxl, saved by LibreOffice as .ods and from that as .xlsx. Truth values
# are not among them: LibreOffice saves a formula's truth value in an .xlsx
# as one, and in an .ods as the number 1 or 0; nor are tabs, which its .xlsx
# leaves out.
VALUES = [
    ["文本", "  两端空格  ", "多个   空格", "第一行\n第二行", "全角　空格"],
    [13812345678, 1.5, -42, 0.1, 123456789012345],
    [datetime.date(2021, 3, 4), datetime.datetime(2021, 3, 4, 5, 6, 7), datetime.time(13, 30, 15), 0.00001, 1e20],
    ["=1/0", "=NA()", "=\"a\"&\"b\"", "=2*3", "=LEN(\"abc\")"],
    [0.25, 1234.5, "007", "0755-1234567", "=DATE(1999,12,31)"],
]


def write_values():
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "值"
    for row in VALUES:
        sheet.append(row)
    sheet["A5"].number_format = "0%"
    sheet["B5"].number_format = "¥#,##0.00"
    sheet["E5"].number_format = "yyyy-mm-dd"
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "values.xlsx")
        book.save(source)
        libreoffice(source, "values.ods", "calc8")
    # The .xlsx is saved from the .ods, with LibreOffice's results of the formulas.
    libreoffice(path("values.ods"), "values.xlsx", "Calc MS Excel 2007 XML")


def main():
    write_xlsx("contacts.xlsx", SHEETS)
    write_csv("utf8.csv", "utf-8")
    write_csv("utf8_bom.csv", "utf-8-sig")
    write_csv("gbk.csv", "gbk")
    write_csv("semicolon.csv", "utf-8", delimiter=";")
    write_csv("unicode_text.txt", "utf-16", delimiter="\t")
    write_csv("crm_export.xls", "gbk", lineterminator="\n")
    write_web_export()
    write_web_page()
    write_excel_2003_xml()
    write_web_system_xml()
    libreoffice(path("contacts.xlsx"), "contacts.ods", "calc8")
    libreoffice(path("contacts.xlsx"), "contacts.xlsm", "Calc MS Excel 2007 VBA XML")
    libreoffice(path("contacts.xlsx"), "contacts.xltx", "Calc MS Excel 2007 XML Template")
    libreoffice(path("contacts.xlsx"), "contacts.xlt", "MS Excel 97 Vorlage/Template")
    write_macro_template("contacts.xltx", "contacts.xltm")
    write_values()


if __name__ == "__main__":
    main()
