#!/usr/bin/python3
"""Regenerates the hostile workbooks of tst_hostile_files in this folder.

  /usr/bin/python3 tests/data/hostile/make_fixtures.py

It borrows the record and container writers of the .xls fixtures and the part
writers of the .xlsx fixtures. The generated files are committed.
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "xls"))
import make_fixtures as xls  # noqa: E402
sys.path.pop(0)
del sys.modules["make_fixtures"]
sys.path.insert(0, os.path.join(HERE, "..", "xlsx"))
import make_fixtures as xlsx  # noqa: E402

xls.out = xlsx.path = lambda name: os.path.join(HERE, name)

MOBILE = "13812345678"


def write_ole_cycle_inside_stream():
    """The workbook stream claims 4096 bytes, but its sector chain runs 2, 3, 2, ..."""
    xls.write_ole("ole_cycle_inside_stream.xls", "Workbook", xls.single_sheet(b""))
    name = os.path.join(HERE, "ole_cycle_inside_stream.xls")
    with open(name, "r+b") as f:
        f.seek(512 + 3 * 4)
        f.write(struct.pack("<I", 2))


def write_sst_two_billion():
    """A shared-string table claiming two thousand million strings, holding one."""
    sst = xls.rec(xls.SST, struct.pack("<II", 2_000_000_000, 2_000_000_000) + xls.xlstr(MOBILE))
    cells = xls.rec(xls.LABELSST, xls.cell(1, 1) + struct.pack("<I", 0))
    xls.write_ole("sst_two_billion.xls", "Workbook", xls.single_sheet(cells, sst))


def write_claims_xlsx():
    """Two thousand million shared strings and a million columns claimed by a
    sheet holding two cells."""
    shared = (f'<sst xmlns="{xlsx.MAIN}" count="2000000000" uniqueCount="2000000000">'
              f'<si><t>{MOBILE}</t></si></sst>')
    rows = ('<row r="2" spans="1:1000000"><c r="B2" t="s"><v>0</v></c></row>'
            '<row r="3" spans="1:1000000"><c r="XFD3"><v>1</v></c></row>')
    xlsx.simple_package("claims.xlsx", xlsx.sheet(rows, '<dimension ref="A1:XFD1048576"/><cols>'
                                                   '<col min="1" max="1000000" width="9"/></cols>'),
                        shared_strings=shared)


def zip_entry(name, data, claimed_size=None, compressed=None):
    """A local header with its data and the matching central directory entry;
    claimed_size lies about the uncompressed size in both."""
    if compressed is None:
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        compressed = packer.compress(data) + packer.flush()
        crc, size = zlib.crc32(data), len(data)
    else:
        crc, size = 0, 0
    if claimed_size is not None:
        size = claimed_size
    encoded = name.encode()
    common = struct.pack("<HHHHHIIIH", 20, 0, 8, 0, 0x5821, crc, len(compressed), size, len(encoded))
    local = b"PK\x03\x04" + common + struct.pack("<H", 0) + encoded + compressed
    central = b"PK\x01\x02" + struct.pack("<H", 20) + common + struct.pack("<HHHHII", 0, 0, 0, 0, 0, 0) + encoded
    return local, central


def write_lying_bomb():
    """Over 1 GiB of blanks in the sheet, whose headers claim 300 bytes."""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    head = f'<worksheet xmlns="{xlsx.MAIN}"><sheetData>'.encode()
    compressed = packer.compress(head)
    block = b" " * (1 << 24)
    for _ in range(66):
        compressed += packer.compress(block)
    compressed += packer.compress(b"</sheetData></worksheet>") + packer.flush()
    parts = [
        zip_entry("_rels/.rels", xlsx.relationships(("rId1", xlsx.office("officeDocument"), "xl/workbook.xml")).encode()),
        zip_entry("xl/workbook.xml", (f'<workbook xmlns="{xlsx.MAIN}" xmlns:r="{xlsx.REL}"><sheets>'
                                      '<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>').encode()),
        zip_entry("xl/_rels/workbook.xml.rels",
                  xlsx.relationships(("rId1", xlsx.office("worksheet"), "worksheets/sheet1.xml")).encode()),
        zip_entry("xl/worksheets/sheet1.xml", b"", claimed_size=300, compressed=compressed),
    ]
    body, directory = b"", b""
    for local, central in parts:
        offset = len(body)
        body += local
        directory += central[:42] + struct.pack("<I", offset) + central[46:]
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(parts), len(parts), len(directory), len(body), 0)
    with open(os.path.join(HERE, "lying_bomb.xlsx"), "wb") as f:
        f.write(body + directory + end)


if __name__ == "__main__":
    write_ole_cycle_inside_stream()
    write_sst_two_billion()
    write_claims_xlsx()
    write_lying_bomb()
