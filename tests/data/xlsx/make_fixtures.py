#!/usr/bin/python3
"""Regenerates the .xlsx fixtures of tst_xlsx in this folder.

Run with Debian's python3 and its python3-openpyxl package (3.0.x):

    /usr/bin/python3 tests/data/xlsx/make_fixtures.py

Workbooks that openpyxl can write come from openpyxl. What it cannot write
(cached formula results, rich text, phonetic runs, error values, parts in
unusual places, damaged or hostile packages) is written here part by part, in
the form that Excel itself writes. The output is deterministic, so the
committed files only change when this script does.
"""

import datetime
import io
import os
import struct
import zipfile
import zlib

import openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.utils.datetime import CALENDAR_MAC_1904

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = (2024, 1, 1, 0, 0, 0)

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"


def path(name):
    return os.path.join(HERE, name)


def save(wb, name):
    """Saves with fixed document and entry times so regenerating changes nothing."""
    wb.properties.created = wb.properties.modified = datetime.datetime(*FIXED_TIME)
    wb.save(path(name))
    fix_times(name)


def fix_times(name):
    with zipfile.ZipFile(path(name)) as source:
        entries = [(info.filename, source.read(info)) for info in source.infolist()]
    write_package(name, entries)


def write_package(name, parts):
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as package:
        for part_name, data in parts:
            info = zipfile.ZipInfo(part_name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(info, data.encode("utf-8") if isinstance(data, str) else data)


def relationships(*items):
    body = "".join(
        f'<Relationship Id="{rid}" Type="{rtype}" Target="{target}"/>' for rid, rtype, target in items)
    return f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Relationships xmlns="{PKG_REL}">{body}</Relationships>'


def office(kind):
    return f"{REL}/{kind}"


def simple_package(name, sheet_xml, shared_strings=None, styles=None, workbook_xml=None):
    """A package in the conventional layout with one sheet "Sheet1"."""
    rels = [("rId1", office("worksheet"), "worksheets/sheet1.xml")]
    parts = [("_rels/.rels", relationships(("rId1", office("officeDocument"), "xl/workbook.xml")))]
    parts.append(("xl/workbook.xml", workbook_xml or
                  f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><workbook xmlns="{MAIN}" '
                  f'xmlns:r="{REL}"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>'))
    if shared_strings is not None:
        rels.append(("rId2", office("sharedStrings"), "sharedStrings.xml"))
        parts.append(("xl/sharedStrings.xml", shared_strings))
    if styles is not None:
        rels.append(("rId3", office("styles"), "styles.xml"))
        parts.append(("xl/styles.xml", styles))
    parts.append(("xl/_rels/workbook.xml.rels", relationships(*rels)))
    parts.append(("xl/worksheets/sheet1.xml", sheet_xml))
    write_package(name, parts)


def sheet(rows_xml, extra=""):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><worksheet xmlns="{MAIN}" '
            f'xmlns:r="{REL}">{extra}<sheetData>{rows_xml}</sheetData></worksheet>')


def make_values():
    """Plain values as openpyxl writes them, over several sheets."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "联系人"
    ws["A1"] = 13812345678
    ws["B1"] = "13812345678"
    ws["C1"] = 1.5
    ws["D1"] = 0.1 + 0.2
    ws["E1"] = True
    ws["F1"] = False
    ws["G1"] = -42
    ws["H1"] = 123456789012345
    ws["I1"] = 1e-5
    ws["A2"] = datetime.date(2021, 3, 4)
    ws["B2"] = datetime.datetime(2021, 3, 4, 5, 6, 7)
    ws["C2"] = datetime.time(13, 30, 15)
    ws["D2"] = 44259
    ws["D2"].number_format = 'yyyy"年"m"月"d"日"'
    ws["E2"] = 1.25
    ws["E2"].number_format = "[h]:mm"
    ws["F2"] = 44259
    ws["F2"].number_format = '0" days"'
    ws["G2"] = 44259
    ws["G2"].number_format = "[Red]#,##0.00"
    ws["H2"] = 44259
    ws["H2"].number_format = "0.00"
    ws["A3"] = "张三"
    ws["B3"] = " 13912345678"
    ws["C3"] = "010-12345678"
    ws["D3"] = "  两端空格  "
    ws["A100"] = "最后一行"
    ws.cell(row=1, column=16384, value="最右一列")

    second = wb.create_sheet("第二页")
    second["B2"] = "第二页的内容"
    chart_data = wb.create_sheet("Sheet 3")
    chart_data.append([1, 2, 3])
    chart = BarChart()
    chart.add_data(Reference(chart_data, min_col=1, max_col=3, min_row=1))
    chartsheet = wb.create_chartsheet("图表", 2)
    chartsheet.add_chart(chart)
    save(wb, "values.xlsx")


def make_date1904():
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws["A1"] = datetime.date(2021, 3, 4)
    ws["B1"] = datetime.datetime(1904, 1, 2, 12, 0, 0)
    ws["C1"] = 5
    save(wb, "date1904.xlsx")


def make_iso_dates():
    wb = openpyxl.Workbook()
    wb.iso_dates = True
    ws = wb.active
    ws["A1"] = datetime.date(2021, 1, 1)
    ws["B1"] = datetime.datetime(2021, 1, 1, 10, 10, 10)
    ws["C1"] = datetime.time(10, 10, 10)
    save(wb, "iso_dates.xlsx")


def make_excel_forms():
    """What Excel writes and openpyxl cannot: cached formula results, rich
    text and phonetic runs in shared strings, escapes, error values, cells and
    rows without their position."""
    shared = (
        f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        f'<sst xmlns="{MAIN}" count="6" uniqueCount="6">'
        '<si><r><rPr><b/></rPr><t>张</t></r><r><t xml:space="preserve"> 三</t></r></si>'
        '<si><r><t>課きく　毛こ</t></r><rPh sb="0" eb="1"><t>カ</t></rPh><phoneticPr fontId="1"/></si>'
        '<si><t>ABC_x000D_\nDEF</t></si>'
        '<si><t>_x005F_x000D_ stays</t></si>'
        '<si><t xml:space="preserve"> </t></si>'
        '<si><t>a&amp;b&lt;c&gt;</t></si>'
        '</sst>')
    rows = (
        '<row r="1">'
        '<c r="A1" t="s"><v>0</v></c>'
        '<c r="B1"><f>13812345677+1</f><v>13812345678</v></c>'
        '<c r="C1" t="str"><f>"a"&amp;"b"</f><v>ab</v></c>'
        '<c r="D1" t="b"><f>1=1</f><v>1</v></c>'
        '<c r="E1"><f>A1</f></c>'
        '<c r="F1" t="inlineStr"><is><r><t>内</t></r><r><t>联</t></r></is></c>'
        '</row>'
        '<row r="2">'
        '<c r="A2" t="s"><v>1</v></c><c r="B2" t="s"><v>2</v></c><c r="C2" t="s"><v>3</v></c>'
        '<c r="D2" t="s"><v>4</v></c><c r="E2" t="s"><v>5</v></c>'
        '</row>'
        '<row r="3"><c t="inlineStr"><is><t>x</t></is></c><c><v>2</v></c><c r="E3"><v>5</v></c><c><v>6</v></c></row>'
        '<row><c><v>7</v></c></row>'
        '<row r="5"><c r="C5" t="e"><f>1/0</f><v>#DIV/0!</v></c><c r="D5" t="e"><v>#N/A</v></c></row>'
        '<row r="6"><c r="A6" t="d"><v>2021-01-01T10:10:10</v></c><c r="B6" t="d"><v>10:10:10</v></c>'
        '<c r="C6" t="b"><v>0</v></c><c r="D6" t="str"><v></v></c>'
        '<c r="E6">\n  <v>\n    42\n  </v>\n</c><c r="F6" t="s"><v> 5 </v></c><c r="G6"><v>  </v></c></row>')
    simple_package("excel_forms.xlsx", sheet(rows, '<dimension ref="A1:F6"/>'), shared_strings=shared)


def make_unusual_layout():
    """Parts outside xl/, absolute and relative targets, a prefix on every
    element, styles with custom date formats, and a chart sheet in between."""
    x = 'xmlns:x="' + MAIN + '"'
    workbook = (f'<?xml version="1.0" encoding="UTF-8"?><x:workbook {x} xmlns:ns="{REL}">'
                '<x:workbookPr date1904="false"/><x:sheets>'
                '<x:sheet name="甲" sheetId="1" ns:id="rA"/>'
                '<x:sheet name="图" sheetId="2" ns:id="rC"/>'
                '<x:sheet name="乙" sheetId="3" ns:id="rB"/>'
                '</x:sheets></x:workbook>')
    styles = (f'<?xml version="1.0" encoding="UTF-8"?><x:styleSheet {x}>'
              '<x:numFmts count="3"><x:numFmt numFmtId="170" formatCode="yyyy/mm/dd;@"/>'
              '<x:numFmt numFmtId="171" formatCode="[Red]&quot;d&quot;0;\\m0"/>'
              '<x:numFmt numFmtId="14" formatCode="0.0"/></x:numFmts>'
              '<x:cellStyleXfs count="1"><x:xf numFmtId="170"/></x:cellStyleXfs>'
              '<x:cellXfs count="5"><x:xf numFmtId="0"/><x:xf numFmtId="170"/><x:xf numFmtId="171"/>'
              '<x:xf numFmtId="14"/><x:xf numFmtId="31"/></x:cellXfs></x:styleSheet>')
    first = (f'<?xml version="1.0" encoding="UTF-8"?><x:worksheet {x}><x:sheetData>'
             '<x:row r="1"><x:c r="A1" s="1"><x:v>44259</x:v></x:c><x:c r="B1" s="2"><x:v>44259</x:v></x:c>'
             '<x:c r="C1" s="3"><x:v>44259</x:v></x:c><x:c r="D1" s="4"><x:v>44259</x:v></x:c>'
             '<x:c r="E1" s="99"><x:v>44259</x:v></x:c><x:c r="F1" t="s"><x:v>0</x:v></x:c></x:row>'
             '</x:sheetData></x:worksheet>')
    second = (f'<?xml version="1.0" encoding="UTF-8"?><x:worksheet {x}><x:sheetData>'
              '<x:row r="2"><x:c r="B2" t="inlineStr"><x:is><x:t>第二个工作表</x:t></x:is></x:c></x:row>'
              '</x:sheetData></x:worksheet>')
    shared = f'<x:sst {x}><x:si><x:t>共享</x:t></x:si></x:sst>'
    write_package("unusual_layout.xlsx", [
        ("_rels/.rels", relationships(("r1", office("officeDocument"), "/book/main.xml"))),
        ("book/main.xml", workbook),
        ("book/_rels/main.xml.rels", relationships(
            ("rA", office("worksheet"), "/data/first.xml"),
            ("rB", office("worksheet"), "../data/./second.xml"),
            ("rC", office("chartsheet"), "charts/sheet1.xml"),
            ("rS", office("styles"), "looks.xml"),
            ("rT", office("sharedStrings"), "strings%20table.xml"))),
        ("book/looks.xml", styles),
        ("book/strings table.xml", shared),
        ("data/first.xml", first),
        ("data/second.xml", second),
    ])


def make_large_claims():
    """A sheet that claims the largest extent and a shared-string count of two
    thousand million but holds three cells."""
    shared = (f'<sst xmlns="{MAIN}" count="2000000000" uniqueCount="2000000000">'
              '<si><t>角</t></si></sst>')
    rows = ('<row r="1" spans="1:16384"><c r="A1" t="s"><v>0</v></c></row>'
            '<row r="1048576"><c r="XFD1048576"><v>1</v></c><c r="A1048576"><v>2</v></c></row>')
    simple_package("large_claims.xlsx", sheet(rows, '<dimension ref="A1:XFD1048576"/>'), shared_strings=shared)


def make_without_relationships():
    """No workbook relationships at all: parts are found by their conventional names."""
    write_package("no_relationships.xlsx", [
        ("_rels/.rels", relationships(("rId1", office("officeDocument"), "xl/workbook.xml"))),
        ("xl/workbook.xml", f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><sheets>'
                            '<sheet name="一" sheetId="1" r:id="rId1"/><sheet name="二" sheetId="2" r:id="rId2"/>'
                            '</sheets></workbook>'),
        ("xl/sharedStrings.xml", f'<sst xmlns="{MAIN}"><si><t>按惯例找到</t></si></sst>'),
        ("xl/worksheets/sheet1.xml", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>')),
        ("xl/worksheets/sheet2.xml", sheet('<row r="2"><c r="B2"><v>2</v></c></row>')),
    ])


def make_damaged():
    rows = '<row r="1"><c r="A1"><v>1</v></c></row>'
    simple_package("bad_reference.xlsx", sheet('<row r="1"><c r="XFE1"><v>1</v></c></row>'))
    simple_package("bad_row.xlsx", sheet('<row r="1048577"><c><v>1</v></c></row>'))
    simple_package("bad_shared_string.xlsx", sheet('<row r="1"><c r="A1" t="s"><v>3</v></c></row>'),
                   shared_strings=f'<sst xmlns="{MAIN}"><si><t>only</t></si></sst>')
    simple_package("too_many_rows.xlsx", sheet("<row/>" * 1048577))
    simple_package("too_long_text.xlsx",
                   sheet('<row r="1"><c r="A1" t="inlineStr"><is><t>' + "长" * 400000 + '</t></is></c></row>'))
    simple_package("bad_xml.xlsx", sheet(rows).replace("</sheetData>", "</sheetDat>"))
    simple_package("dtd.xlsx", sheet(rows), workbook_xml=(
        '<?xml version="1.0"?><!DOCTYPE workbook [<!ENTITY a "aaaaaaaaaa">]>'
        f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><sheets>'
        '<sheet name="&a;" sheetId="1" r:id="rId1"/></sheets></workbook>'))
    write_package("no_workbook.xlsx", [("docProps/app.xml", "<Properties/>")])
    write_package("not_a_workbook.xlsx", [
        ("_rels/.rels", relationships(("rId1", office("officeDocument"), "word/document.xml"))),
        ("word/document.xml", '<w:document xmlns:w="urn:w"/>')])
    write_package("binary_workbook.xlsx", [
        ("_rels/.rels", relationships(("rId1", office("officeDocument"), "xl/workbook.bin"))),
        ("xl/workbook.bin", b"\x83\x01\x00")])
    write_package("missing_sheet.xlsx", [
        ("_rels/.rels", relationships(("rId1", office("officeDocument"), "xl/workbook.xml"))),
        ("xl/workbook.xml", f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><sheets>'
                            '<sheet name="丢失" sheetId="1" r:id="rId1"/></sheets></workbook>'),
        ("xl/_rels/workbook.xml.rels", relationships(("rId1", office("worksheet"), "worksheets/sheet1.xml")))])

    with open(path("values.xlsx"), "rb") as whole:
        data = whole.read()
    with open(path("truncated.xlsx"), "wb") as truncated:
        truncated.write(data[: len(data) // 2])


def zip_crypto(data, crc):
    """The traditional PKWARE encryption, with a fixed header for repeatable output."""
    keys = [0x12345678, 0x23456789, 0x34567890]

    def crc_byte(value, byte):
        return zlib.crc32(bytes([byte]), value ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

    def update(byte):
        keys[0] = crc_byte(keys[0], byte)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = crc_byte(keys[2], keys[1] >> 24)

    for byte in b"secret":
        update(byte)
    out = bytearray()
    for byte in bytes(11) + bytes([crc >> 24]) + data:
        temp = (keys[2] | 2) & 0xFFFF
        out.append(byte ^ (((temp * (temp ^ 1)) >> 8) & 0xFF))
        update(byte)
    return bytes(out)


def make_password_zip():
    """A package whose zip entries are encrypted (stored, not deflated)."""
    parts = [
        ("_rels/.rels", relationships(("rId1", office("officeDocument"), "xl/workbook.xml")).encode()),
        ("xl/workbook.xml", f'<workbook xmlns="{MAIN}"/>'.encode()),
    ]
    local, central = bytearray(), bytearray()
    for name, data in parts:
        crc = zlib.crc32(data)
        encrypted = zip_crypto(data, crc)
        fields = struct.pack("<HHHHHIIIHH", 20, 1, 0, 0, 0x21, crc, len(encrypted), len(data), len(name), 0)
        central += b"PK\x01\x02" + struct.pack("<H", 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, len(local))
        central += name.encode()
        local += b"PK\x03\x04" + fields + name.encode() + encrypted
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(parts), len(parts), len(central), len(local), 0)
    with open(path("password_zip.xlsx"), "wb") as out:
        out.write(bytes(local + central + end))


def make_bomb():
    """Over 1 GiB of blanks inside the sheet element, deflated to about 1 MiB."""
    head = f'<worksheet xmlns="{MAIN}"><sheetData>'
    body = io.BytesIO()
    info = zipfile.ZipInfo("xl/worksheets/sheet1.xml", FIXED_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    parts = [
        ("_rels/.rels", relationships(("rId1", office("officeDocument"), "xl/workbook.xml"))),
        ("xl/workbook.xml", f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><sheets>'
                            '<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>'),
        ("xl/_rels/workbook.xml.rels", relationships(("rId1", office("worksheet"), "worksheets/sheet1.xml"))),
    ]
    with zipfile.ZipFile(body, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as package:
        for part_name, text in parts:
            entry = zipfile.ZipInfo(part_name, FIXED_TIME)
            entry.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(entry, text)
        with package.open(info, "w", force_zip64=True) as stream:
            stream.write(head.encode())
            block = b" " * (1 << 24)
            for _ in range(65):
                stream.write(block)
            stream.write(b"</sheetData></worksheet>")
    with open(path("bomb.xlsx"), "wb") as out:
        out.write(body.getvalue())


if __name__ == "__main__":
    make_values()
    make_date1904()
    make_iso_dates()
    make_excel_forms()
    make_unusual_layout()
    make_large_claims()
    make_without_relationships()
    make_damaged()
    make_password_zip()
    make_bomb()
