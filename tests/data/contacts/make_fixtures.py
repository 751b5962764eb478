#!/usr/bin/python3
"""Writes the contact workbooks that the window and command-line tests read.

Run from anywhere: /usr/bin/python3 make_fixtures.py (python3-openpyxl and
python3-xlwt from Debian). The files are committed; rerun only to change them.
"""
import os

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))

HEADING = ["姓名", "手机", "电话", "备注"]
CUSTOMERS = [
    ["张三", 13812345678, "010-12345678", "老客户"],
    ["李四", "15912345678", "", "&GroupID=9"],
    ["", "18612345678", "+86 10 1234", ""],
    ["王五", "", "", "无手机"],
]
SUPPLIERS = [
    ["供应商甲", "13900000001", "", ""],
    ["供应商乙", "13900000002", "", "A&B"],
]


# The analysis rules on one sheet: a title and a heading above the data, the
# mobile column in B, numbers stored as numbers and as text, a mobile number
# followed by a landline, a landline alone, a name without a mobile number,
# three blank rows passed over, and the fourth ending the pass.
CASES = [
    ["客户名单", "", "", ""],
    HEADING,
    ["张三", 13812345678, "010-1", "老客户"],
    ["Alice Cooper Smith Jr", "15912345678", 8001, ""],
    ["", "18612345678 010-12345678", "ignored", "r"],
    ["李四", "010-87654321", "ignored", ""],
    ["王五", "", "ignored", "kept"],
    ["", "", "", ""],
    ["", "", "", ""],
    ["赵六", 19912345678, "", ""],
    ["", "", "", ""],
    ["", "", "", ""],
    ["after the fourth blank row", "13700000000", "", ""],
]


def many(count):
    return [["联系人%d" % i, "139%08d" % i, "", "第%d条" % i] for i in range(count)]


def write_xlsx(path, sheets):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, rows in sheets:
        sheet = book.create_sheet(name)
        for row in rows:
            sheet.append(row)
    book.save(path)


def write_xls(path, sheets):
    book = xlwt.Workbook(encoding="utf-8")
    for name, rows in sheets:
        sheet = book.add_sheet(name)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if value != "":
                    sheet.write(r, c, value)
    book.save(path)


def main():
    three = [("客户", [HEADING] + CUSTOMERS), ("没有号码", [["只有文字"]]), ("供应商", [HEADING] + SUPPLIERS)]
    write_xlsx(os.path.join(HERE, "three_sheets.xlsx"), three)
    write_xls(os.path.join(HERE, "three_sheets.xls"), three)
    write_xlsx(os.path.join(HERE, "cases.xlsx"), [("规则", CASES)])
    write_xls(os.path.join(HERE, "cases.xls"), [("规则", CASES)])
    write_xlsx(os.path.join(HERE, "one_sheet.xlsx"), [("X", [HEADING] + SUPPLIERS)])
    write_xlsx(os.path.join(HERE, "ten_sheets.xlsx"),
               [("表%d" % (i + 1), [["第%d表" % (i + 1), "1370000%04d" % i]]) for i in range(10)])
    write_xlsx(os.path.join(HERE, "many.xlsx"), [("很多", [HEADING] + many(300))])
    write_xlsx(os.path.join(HERE, "long_names.xlsx"),
               [("2024年第一季度华东区重点客户名单", [HEADING] + SUPPLIERS), ("<b>粗体&表", [HEADING] + SUPPLIERS)])
    with open(os.path.join(HERE, "not_a_workbook.xls"), "w", encoding="utf-8") as f:
        f.write("<html><body>这不是工作簿</body></html>\n")


if __name__ == "__main__":
    main()
