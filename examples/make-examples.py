#!/usr/bin/python3
"""Writes the example workbooks 客户通讯录.xlsx and 客户通讯录.xls beside this script.

The contacts are made up but plausible, and the same on every run (fixed seed),
so the pictures in the README and the demo show the same rows. Needs
python3-openpyxl and python3-xlwt.
"""
import io
import os
import random
import re
import zipfile

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
BASENAME = "客户通讯录"
HEADINGS = ["姓名", "手机", "电话", "备注"]
CUSTOMERS = 320
SUPPLIERS = 40

SURNAMES = ("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘"
            "于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤")
GIVEN = ("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华建国建华志强志明晓东晓燕海燕"
         "红梅丹玉兰欣怡子涵浩然宇轩梓萱一鸣思远文博雨桐嘉怡俊杰佳琪晨曦鹏飞春燕秋菊立新德胜")
# Area codes with the length of their local numbers.
AREAS = (("010", 8), ("021", 8), ("020", 8), ("022", 8), ("023", 8), ("025", 8), ("027", 8),
         ("028", 8), ("029", 8), ("0571", 8), ("0755", 8), ("0512", 8), ("0532", 7), ("0731", 7))
REMARKS = ("老客户", "周末联系", "需开发票", "VIP", "上午联系", "已签合同", "推荐人：王经理",
           "春节前回访", "发货前电话确认", "只收短信，勿来电", "新客户", "地址：滨江路88号")


def given_names():
    # Two-character names are taken as pairs from GIVEN where they read as one name.
    singles = list("伟芳娜敏静丽强磊军洋勇艳杰娟涛明超霞平刚华丹")
    pairs = [GIVEN[i:i + 2] for i in range(len(singles), len(GIVEN) - 1, 2)]
    return singles + pairs


def make_contacts(rng, count, used_mobiles, company_share):
    names = given_names()
    contacts = []
    while len(contacts) < count:
        mobile = "1" + str(rng.randint(3, 9)) + "".join(str(rng.randint(0, 9)) for _ in range(9))
        if mobile in used_mobiles:
            continue
        used_mobiles.add(mobile)
        name = rng.choice(SURNAMES) + rng.choice(names)
        tel = ""
        if rng.random() < company_share:
            area, digits = rng.choice(AREAS)
            tel = area + "-" + str(rng.randint(2, 8)) + "".join(str(rng.randint(0, 9)) for _ in range(digits - 1))
        remark = rng.choice(REMARKS) if rng.random() < 0.25 else ""
        contacts.append((name, mobile, tel, remark))
    return contacts


# Mobile numbers are stored as numbers, as they usually are when typed into a
# sheet; telephones with their dash are text.
def row_values(contact):
    name, mobile, tel, remark = contact
    return [name, int(mobile), tel or None, remark or None]


def write_xlsx(path, customers, suppliers):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "客户"
    sheet.append(["客户通讯录（示例数据，纯属虚构）"])
    sheet.append([])
    sheet.append(HEADINGS)
    for contact in customers:
        sheet.append(row_values(contact))
    for column, width in zip("ABCD", (10, 14, 15, 22)):
        sheet.column_dimensions[column].width = width

    other = book.create_sheet("供应商")
    other.append(["公司", "联系人", "手机", "电话", "备注"])
    for number, contact in enumerate(suppliers, 1):
        other.append(["供应商%02d" % number] + row_values(contact))
    written = io.BytesIO()
    book.save(written)
    save_reproducibly(written, path)


# openpyxl stamps the time of writing into the document properties and the zip
# entries; a fixed time keeps the file the same on every run.
def save_reproducibly(written, path):
    fixed = (2026, 1, 1, 0, 0, 0)
    with zipfile.ZipFile(written) as source, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        for entry in source.infolist():
            data = source.read(entry.filename)
            if entry.filename == "docProps/core.xml":
                data = re.sub(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", b"2026-01-01T00:00:00Z", data)
            target.writestr(zipfile.ZipInfo(entry.filename, fixed), data, zipfile.ZIP_DEFLATED)


def write_xls(path, customers, suppliers):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("客户")
    sheet.write(0, 0, "客户通讯录（示例数据，纯属虚构）")
    for column, heading in enumerate(HEADINGS):
        sheet.write(2, column, heading)
    for row, contact in enumerate(customers, 3):
        for column, value in enumerate(row_values(contact)):
            if value is not None:
                sheet.write(row, column, value)

    other = book.add_sheet("供应商")
    for column, heading in enumerate(["公司", "联系人", "手机", "电话", "备注"]):
        other.write(0, column, heading)
    for row, contact in enumerate(suppliers, 1):
        other.write(row, 0, "供应商%02d" % row)
        for column, value in enumerate(row_values(contact), 1):
            if value is not None:
                other.write(row, column, value)
    book.save(path)


def main():
    rng = random.Random(20261208)
    used = set()
    customers = make_contacts(rng, CUSTOMERS, used, company_share=0.35)
    suppliers = make_contacts(rng, SUPPLIERS, used, company_share=0.9)
    write_xlsx(os.path.join(HERE, BASENAME + ".xlsx"), customers, suppliers)
    write_xls(os.path.join(HERE, BASENAME + ".xls"), customers, suppliers)


if __name__ == "__main__":
    main()
