#!/usr/bin/python3
"""Writes the workbooks of tst_analysis (the contact sheets as people keep
them) and tst_readers_agree (the same cells in .xls and .xlsx).

    /usr/bin/python3 tests/data/sheets/make_fixtures.py

Each workbook is written by independent writers:
  NAME.xlsx          python3-openpyxl (Debian package)
  NAME.xls           python3-xlwt (Debian package)
  lo_NAME.xls,       LibreOffice Calc (apt-get install libreoffice-calc-nogui)
  lo_NAME.xlsx       converting NAME.xlsx; left as they are, with a note, when
                     soffice is missing. Needed only here, never by the build or
                     the tests.
for NAME:
  people             one worksheet for each case of the analysis; tst_analysis
                     holds what each must give
  values, values1904 text, numbers, truth values, error values, dates and times,
                     in the 1900 and the 1904 date system
and by hand:
  biff5_no_codepage.xls  an Excel 95 workbook in GBK without a CODEPAGE record,
                     as some Chinese programs write them; no writer at hand
                     leaves the record out, so it is put together with the
                     record builder of ../xls/make_fixtures.py
The files are committed; rerun the script after changing it.
"""
import datetime
import os
import shutil
import struct
import subprocess
import tempfile
import types

import openpyxl
import openpyxl.utils.datetime
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
# The BIFF codes of the error values: xlwt knows some of them by name only.
ERROR_CODES = {"#NULL!": 0x00, "#DIV/0!": 0x07, "#VALUE!": 0x0F, "#REF!": 0x17, "#NAME?": 0x1D, "#NUM!": 0x24,
               "#N/A": 0x2A}


class Error:
    """An error value such as #DIV/0! in a cell."""

    def __init__(self, name):
        self.name = name


class Shown:
    """A value shown with a number format, such as a date."""

    def __init__(self, value, number_format):
        self.value = value
        self.number_format = number_format


# A cell: a str is text, an int or float a number, None or "" an empty cell,
# besides Error and Shown.
PEOPLE = [
    # Headings name the columns; the department is not the name, the remark is
    # not the telephone. A title row lies above the headings.
    ("部门", [
        ["2024年客户名单"],
        ["序号", "姓名", "部门", "手机号码", "备注"],
        [1, "张三", "销售部", 13812345678, "老客户"],
        [2, "李四", "财务部", "13912345678", None],
        [3, "王五", "", "", "没有手机"],
    ]),
    # Headings in another order; the address is passed over.
    ("地址", [
        ["备注", "联系电话", "客户姓名", "手机", "地址"],
        ["VIP", "010-12345678", "赵六", "15012345678", "北京市朝阳区"],
        [None, "0755-1234567", "钱七", 18612345678, "深圳市"],
    ]),
    # Mobile numbers as people write them.
    ("写法", [
        ["姓名", "手机"],
        ["空格", "138 1234 5678"],
        ["连字符", "139-1234-5678"],
        ["国家码", "+86 150 1234 5678"],
        ["零零", "008615112345678"],
        ["全角", "１８６１２３４５６７８"],
        ["全角空格", "187\u30001234\u30005678"],
        ["长破折号", "188\u20141234\u20145678"],
        ["八六", 8613312345678],
    ]),
    # The 12th character ends a mobile number only when it is no digit.
    ("第12位", [
        ["姓名", "手机", "电话"],
        ["甲", "13812345678", ""],
        ["乙", "1381234567890", "010-1"],
        ["丙", 138123456789, "010-2"],
        ["丁", "13912345678/13812345679", "010-3"],
        ["戊", "13712345678 转8001", ""],
    ]),
    # The same mobile number twice, written the same and written otherwise.
    ("重复", [
        ["姓名", "手机", "备注"],
        ["甲", 13800000001, "第一次"],
        ["乙", "13800000002", None],
        ["丙", "13800000001", "同号"],
        ["丁", None, "没有手机"],
        ["戊", None, "也没有手机"],
        ["己", "138-0000-0002", "写法不同的同号"],
    ]),
    # Mobile numbers below the fourth blank row are read no more, but reported.
    ("空行之后", [
        ["甲", 13800000011],
        [], [], [],
        ["乙", 13800000012],
        [],
        ["丙", 13800000013],
        [],
        ["only a name below"],
        ["丁", "13800000014"],
        ["", "139 0000 0015"],
        ["戊", "010-12345678"],
    ]),
    # An error value in the title area stops nothing.
    ("错误值", [
        ["合计", Error("#DIV/0!"), Error("#N/A")],
        ["姓名", "手机"],
        ["张三", 13812345678],
    ]),
    # A heading row that names the mobile column only: the other fields stay empty.
    ("只有手机", [
        ["", "手机号码"],
        ["张三", 13812345678, "010-1", "r"],
    ]),
    # A heading row above a title row: the row above the numbers is the title,
    # which names nothing, so the columns are found by their places.
    ("标题在下", [
        ["备注", "电话", "手机", "姓名"],
        ["2024年名单"],
        ["张三", 13812345678, "010-1", "r"],
    ]),
]



# The 1904 workbooks hold the same dates and times, so every cell reads the
# same in both date systems (an elapsed time such as [h]:mm would not: it is a
# number of days counted from the system's first day).
VALUES = [
    ("数据", [
        ["张三", "Alice Smith", "  13812345678 ", "第一行\n第二行"],
        [13812345678, 1.5, -42, 0.1, 123456789012345, 2.5e-7],
        [True, False] + [Error(name) for name in ("#DIV/0!", "#N/A", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#NULL!")],
        [Shown(datetime.date(2024, 3, 15), "yyyy-mm-dd"),
         Shown(datetime.datetime(2024, 3, 15, 8, 30, 45), "yyyy-mm-dd hh:mm:ss"),
         Shown(datetime.time(8, 30), "hh:mm:ss"),
         Shown(datetime.time(23, 59, 59), "h:mm"),
         Shown(datetime.datetime(2024, 3, 15, 12, 0), "m/d/yy h:mm"),
         Shown(datetime.date(2000, 2, 29), 'yyyy"年"m"月"d"日"')],
        [Shown(45366.0, "0.00"), Shown(45366.0, '"d"0'), Shown(0.5, "0%")],
    ]),
]


def write_xlsx(path, sheets, date1904=False):
    book = openpyxl.Workbook()
    book.remove(book.active)
    if date1904:
        book.epoch = openpyxl.utils.datetime.CALENDAR_MAC_1904
    for name, rows in sheets:
        sheet = book.create_sheet(name)
        for r, row in enumerate(rows, 1):
            for c, value in enumerate(row, 1):
                cell = sheet.cell(r, c)
                if isinstance(value, Error):
                    cell.value = value.name
                    cell.data_type = "e"
                elif isinstance(value, Shown):
                    cell.value = value.value
                    cell.number_format = value.number_format
                elif value not in (None, ""):
                    cell.value = value
    book.save(path)


def write_xls(path, sheets, date1904=False):
    book = xlwt.Workbook(encoding="utf-8")
    book.dates_1904 = date1904
    for name, rows in sheets:
        sheet = book.add_sheet(name)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, Error):
                    sheet.row(r).set_cell_error(c, ERROR_CODES[value.name])
                elif isinstance(value, Shown):
                    sheet.write(r, c, value.value, xlwt.easyxf(num_format_str=value.number_format))
                elif value not in (None, ""):
                    sheet.write(r, c, value)
    book.save(path)


def convert_with_libreoffice(sources):
    soffice = shutil.which("soffice")
    if not soffice:
        print("soffice not found: the lo_* files are left as they are")
        return
    with tempfile.TemporaryDirectory() as work:
        profile = "file://" + os.path.join(work, "profile")
        for source in sources:
            stem = os.path.splitext(os.path.basename(source))[0]
            for target, filter_name in (("xls", "xls:MS Excel 97"), ("xlsx", "xlsx:Calc MS Excel 2007 XML")):
                subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--convert-to",
                                filter_name, "--outdir", work, source], check=True, stdout=subprocess.DEVNULL)
                shutil.move(os.path.join(work, stem + "." + target), os.path.join(HERE, "lo_" + stem + "." + target))


def biff_builder():
    path = os.path.join(HERE, "..", "xls", "make_fixtures.py")
    builder = types.ModuleType("xls_fixtures")
    builder.__file__ = path
    with open(path, encoding="utf-8") as source:
        exec(compile(source.read(), path, "exec"), builder.__dict__)
    builder.HERE = HERE  # its files are written here
    return builder


def write_biff5_without_codepage():
    biff = biff_builder()

    def gbk8(text):
        data = text.encode("gbk")
        return struct.pack("<B", len(data)) + data

    def gbk16(text):
        data = text.encode("gbk")
        return struct.pack("<H", len(data)) + data

    records = (biff.rec(biff.LABEL, biff.cell(0, 0) + gbk16("张三"))
               + biff.rec(biff.NUMBER, biff.cell(0, 1) + struct.pack("<d", 13812345678.0))
               + biff.rec(biff.LABEL, biff.cell(0, 2) + gbk16("北京市朝阳区")))
    biff.write_ole("biff5_no_codepage.xls", "Book",
                   biff.stream(0x0500, [("联系人", 0, records)], biff.xf(0), gbk8))


def main():
    sources = []
    for stem, sheets, date1904 in (("people", PEOPLE, False), ("values", VALUES, False),
                                   ("values1904", VALUES, True)):
        write_xls(os.path.join(HERE, stem + ".xls"), sheets, date1904)
        sources.append(os.path.join(HERE, stem + ".xlsx"))
        write_xlsx(sources[-1], sheets, date1904)
    convert_with_libreoffice(sources)
    write_biff5_without_codepage()


if __name__ == "__main__":
    main()
