#!/usr/bin/python3
"""Regenerates the workbook of tst_cli in this folder.

Run with Debian's python3 and its python3-openpyxl package:

    /usr/bin/python3 tests/data/cli/make_fixtures.py

contacts.xlsx has three worksheets:
  "联系人": 12 contacts with distinct mobile numbers and values that need
            encoding (Chinese, spaces, "&", "=", "+", quotes, commas, a line feed);
  "重复":   8 contacts, the 7th with the mobile number of the 1st, which the
            platform refuses;
  "说明":   text without a mobile number.
The output is deterministic, so the committed file only changes with this script.
"""

import datetime
import os
import zipfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = (2024, 1, 1, 0, 0, 0)

CONTACTS = [
    ("张三", 13800000001, "021-12345678", "老客户"),
    ("李 四", "13800000002", "+86 10 1234", "a&b=c"),
    ("王五", 13800000003, None, '逗号,引号"'),
    ("Tom O'Brien", "13900000004", "8888&GroupID=9", "第一行\n第二行"),
    ("赵六", 13900000005, None, None),
    ("钱七", "13900000006", "0755 1234 5678", "50%"),
    ("孙八", 13700000007, None, "@home +1"),
    ("周九", 13700000008, "12345", " 前后空格 "),
    ("吴十", 15000000009, None, "~_-."),
    ("郑十一", 15000000010, "(010)1234", "中文，标点。"),
    ("冯十二", 18600000011, None, "x"),
    ("陈十三", 18600000012, "400-800-1234", "最后一位"),
]

DUPLICATES = [
    ("甲", 13600000001, None, "第一"),
    ("乙", 13600000002, None, None),
    ("丙", 13600000003, None, None),
    ("丁", 13600000004, None, None),
    ("戊", 13600000005, None, "会失败"),
    ("己", 13600000006, None, None),
    ("庚", 13600000001, None, "与第一条同号"),
    ("辛", 13600000008, None, None),
]


def fill(sheet, rows):
    sheet.append(("姓名", "手机", "电话", "备注"))
    for row in rows:
        sheet.append(row)


def main():
    wb = openpyxl.Workbook()
    first = wb.active
    first.title = "联系人"
    fill(first, CONTACTS)
    fill(wb.create_sheet("重复"), DUPLICATES)
    notes = wb.create_sheet("说明")
    notes.append(("这个工作表没有手机号码。",))
    wb.properties.created = wb.properties.modified = datetime.datetime(*FIXED_TIME)
    name = os.path.join(HERE, "contacts.xlsx")
    wb.save(name)
    with zipfile.ZipFile(name) as source:
        entries = [(info.filename, source.read(info)) for info in source.infolist()]
    with zipfile.ZipFile(name, "w", zipfile.ZIP_DEFLATED) as package:
        for part_name, data in entries:
            info = zipfile.ZipInfo(part_name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(info, data)


if __name__ == "__main__":
    main()
