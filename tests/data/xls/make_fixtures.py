#!/usr/bin/python3
"""Regenerates the .xls fixtures of tst_xls in this folder.

  /usr/bin/python3 tests/data/xls/make_fixtures.py

Three sources:
  xlwt_*.xls     written by python3-xlwt (Debian package), a real BIFF8 writer:
                 RK, MULRK and NUMBER numbers, shared strings split by CONTINUE,
                 booleans, error values, date formats, the 1904 date system.
  lo_*.xls       written by LibreOffice Calc from the sheet below, when soffice
                 is installed (apt-get install libreoffice-calc-nogui; it is
                 needed only here, never by the build or the tests): formulas
                 with their cached results. (LibreOffice 7.4 no longer writes
                 Excel 95 files, hence the hand-made BIFF5 workbook.)
  hand_*.xls,    records put together here, byte by byte, for what no writer at
  hostile_*.xls  hand produces: a BIFF5 workbook in code page 936, strings split
                 inside their characters, every kind of cached formula result,
                 encryption, Excel 4.0 files and damaged or hostile files. They
                 sit in a minimal OLE2 container written below.
  encrypted_*.xls  xlwt_contacts.xls encrypted here as Excel encrypts, with RC4
                 or RC4 CryptoAPI, with Excel's built-in password (which Excel
                 uses to protect a workbook's structure and opens without
                 asking) or with another one.

The generated files are committed; rerun the script after changing it.
"""

import datetime
import hashlib
import os
import shutil
import struct
import subprocess
import tempfile

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name):
    return os.path.join(HERE, name)


# --------------------------------------------------------------------------
# Files written by xlwt


def long_string(i):
    """The text of row i of the long shared-string table (tst_xls builds the same)."""
    if i % 2:
        return '%04d-' % i + 'abcdefghij' * (i % 17 + 1)
    return '%04d-' % i + '联系人备注abc' * (i % 13 + 1)


def write_xlwt_values():
    book = xlwt.Workbook(encoding='utf-8')
    numbers = book.add_sheet('数值')
    numbers.write(0, 0, 13812345678)      # NUMBER: too big for an RK integer
    numbers.write(0, 1, '13812345678')    # shared string
    numbers.write(0, 2, 1.5)              # RK integer scaled by 100
    numbers.write(0, 3, -42)              # RK integer
    numbers.write(0, 4, 0.01)             # RK integer scaled by 100
    numbers.write(0, 5, 123456789012345)  # NUMBER, 15 digits
    numbers.write(0, 6, -3.25e-7)         # NUMBER
    for col in range(5):                  # one MULRK record
        numbers.write(1, col, col + 1)
    numbers.write(1, 5, 2.5)              # MULRK again (RK integer scaled by 100)
    numbers.write(2, 0, True)
    numbers.write(2, 1, False)
    numbers.row(4).set_cell_error(2, '#DIV/0!')
    numbers.row(4).set_cell_error(3, 0x2A)  # #N/A
    numbers.write(5, 0, '张三')
    numbers.write(5, 1, '  13912345678 ')
    numbers.write(5, 2, '')                # an empty text is no cell for xlwt
    numbers.write(7, 255, 'IV8')           # the last column

    dates = book.add_sheet('日期')
    day = datetime.date(2024, 3, 15)
    moment = datetime.datetime(2024, 3, 15, 8, 30, 45)
    styles = [
        (day, 'yyyy-mm-dd'),
        (moment, 'yyyy-mm-dd hh:mm:ss'),
        (datetime.time(8, 30), 'hh:mm:ss'),
        (day, 'M/D/YY'),                    # built-in format 14
        (45366.0, '0.00'),                  # not a date
        (1.25, '[h]:mm'),                   # elapsed time
        (45366.0, '[Red]0.00'),             # colour, not a date
        (45366.0, '"d"0'),                  # quoted letters, not a date
        (day, '[$-804]yyyy"年"m"月"d"日"'),
        (datetime.datetime(1900, 1, 1), 'yyyy-mm-dd'),
    ]
    for col, (value, code) in enumerate(styles):
        dates.write(0, col, value, xlwt.easyxf(num_format_str=code))

    book.add_sheet('空表')
    book.add_sheet('第四张 Sheet').write(0, 0, 'x')
    book.save(out('xlwt_values.xls'))


def write_xlwt_1904():
    book = xlwt.Workbook()
    book.dates_1904 = True
    sheet = book.add_sheet('Sheet1')
    sheet.write(0, 0, datetime.date(2024, 3, 15), xlwt.easyxf(num_format_str='yyyy-mm-dd'))
    sheet.write(0, 1, datetime.datetime(2024, 3, 15, 12, 0), xlwt.easyxf(num_format_str='yyyy-mm-dd hh:mm'))
    sheet.write(0, 2, datetime.time(12, 0), xlwt.easyxf(num_format_str='hh:mm:ss'))
    sheet.write(0, 3, 100, xlwt.easyxf(num_format_str='0'))
    book.save(out('xlwt_1904.xls'))


def write_xlwt_long_sst():
    book = xlwt.Workbook(encoding='utf-8')
    sheet = book.add_sheet('Sheet1')
    for i in range(1, 601):
        sheet.write(i - 1, 0, long_string(i))
        sheet.write(i - 1, 1, i)
    book.save(out('xlwt_long_sst.xls'))


def contacts_book():
    """Contacts on two sheets, enough shared strings to span many 1024-byte blocks."""
    book = xlwt.Workbook(encoding='utf-8')
    first = book.add_sheet('联系人')
    for i in range(1, 301):
        first.write(i - 1, 0, '客户%d号' % i)
        first.write(i - 1, 1, 13800000000 + i if i % 2 else '1380000%04d' % i)
        first.write(i - 1, 2, '备注：第%d组' % (i % 7))
    first.write(300, 0, datetime.date(2024, 3, 15), xlwt.easyxf(num_format_str='yyyy-mm-dd'))
    first.write(300, 1, True)
    book.add_sheet('第二页').write(0, 0, '王五')
    return book


def write_xlwt_contacts():
    contacts_book().save(out('xlwt_contacts.xls'))


# --------------------------------------------------------------------------
# Files converted by LibreOffice


def convert_with_libreoffice():
    soffice = shutil.which('soffice')
    if not soffice:
        print('soffice not found: lo_formulas.xls left as it is')
        return
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, 'lo_formulas.fods')
        with open(source, 'w', encoding='utf-8') as f:
            f.write(FODS)
        profile = 'file://' + os.path.join(work, 'profile')
        subprocess.run([soffice, '-env:UserInstallation=' + profile, '--headless', '--convert-to',
                        'xls:MS Excel 97', '--outdir', work, source], check=True, stdout=subprocess.DEVNULL)
        shutil.move(os.path.join(work, 'lo_formulas.xls'), out('lo_formulas.xls'))


# A flat OpenDocument sheet: formulas whose results LibreOffice computes and
# stores as the cached values of the FORMULA records.
FODS = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:automatic-styles>
  <number:date-style style:name="D1"><number:year number:style="long"/><number:text>-</number:text>
   <number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
  <style:style style:name="ce1" style:family="table-cell" style:data-style-name="D1"/>
 </office:automatic-styles>
 <office:body><office:spreadsheet>
  <table:table table:name="联系人">
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>张三</text:p></table:table-cell>
    <table:table-cell office:value-type="float" office:value="13812345678"/>
    <table:table-cell table:formula="of:=[.B1]+1" office:value-type="float" office:value="13812345679"/>
    <table:table-cell table:formula="of:=&quot;电话&quot;&amp;[.B1]" office:value-type="string"><text:p>电话13812345678</text:p></table:table-cell>
    <table:table-cell table:formula="of:=1.5*1" office:value-type="float" office:value="1.5"/>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>李四</text:p></table:table-cell>
    <table:table-cell table:formula="of:=1&lt;2" office:value-type="boolean" office:boolean-value="true"/>
    <table:table-cell table:formula="of:=1/0"/>
    <table:table-cell table:formula="of:=&quot;&quot;" office:value-type="string" office:string-value=""/>
    <table:table-cell table:style-name="ce1" table:formula="of:=DATE(2024;3;15)" office:value-type="date" office:date-value="2024-03-15"/>
   </table:table-row>
  </table:table>
  <table:table table:name="第二页">
   <table:table-row><table:table-cell office:value-type="string"><text:p>王五</text:p></table:table-cell></table:table-row>
  </table:table>
 </office:spreadsheet></office:body>
</office:document>
'''


# --------------------------------------------------------------------------
# Records put together by hand

BOF, EOF, FILEPASS, CONTINUE, CODEPAGE, DATEMODE = 0x0809, 0x000A, 0x002F, 0x003C, 0x0042, 0x0022
BOUNDSHEET, MULRK, RSTRING, XF, SST, LABELSST = 0x0085, 0x00BD, 0x00D6, 0x00E0, 0x00FC, 0x00FD
NUMBER, LABEL, BOOLERR, STRING, RK, FORMAT, FORMULA, DIMENSIONS = (
    0x0203, 0x0204, 0x0205, 0x0207, 0x027E, 0x041E, 0x0006, 0x0200)


def rec(rid, data=b''):
    return struct.pack('<HH', rid, len(data)) + data


def xlstr(text, count='<H'):
    """A BIFF8 Unicode string, compressed when every character fits in a byte."""
    try:
        return struct.pack(count, len(text)) + b'\x00' + text.encode('latin-1')
    except UnicodeEncodeError:
        return struct.pack(count, len(text)) + b'\x01' + text.encode('utf-16-le')


def bof(version, kind):
    if version == 0x0600:
        return rec(BOF, struct.pack('<HHHHII', version, kind, 0x0DBB, 0x07CC, 0, 0x0206))
    return rec(BOF, struct.pack('<HHHH', version, kind, 0x0DBB, 0x07CC))


def xf(fmt):
    return rec(XF, struct.pack('<HH', 0, fmt) + bytes(16))


def cell(row, col, style=0):
    return struct.pack('<HHH', row, col, style)


def formula(row, col, result, style=0):
    return rec(FORMULA, cell(row, col, style) + result + struct.pack('<HI', 0, 0) + b'\x03\x00\x1e\x01\x00')


def special_result(kind, detail=0):
    return struct.pack('<BBBBBBH', kind, 0, detail, 0, 0, 0, 0xFFFF)


def stream(version, sheets, globals_records=b'', encode_name=None):
    """A workbook stream; sheets are (name, type, records) with type 0 a worksheet."""
    encode_name = encode_name or (lambda name: xlstr(name, '<B'))
    names = [encode_name(name) for name, _, _ in sheets]
    head = bof(version, 0x0005) + globals_records
    size = len(head) + sum(4 + 6 + len(n) for n in names) + 4
    substreams, offsets = [], []
    for _, kind, records in sheets:
        offsets.append(size + sum(len(s) for s in substreams))
        substreams.append(bof(version, 0x0020 if kind == 2 else 0x0010) + records + rec(EOF))
    bound = b''.join(rec(BOUNDSHEET, struct.pack('<IBB', off, 0, kind) + n)
                     for off, (_, kind, _), n in zip(offsets, sheets, names))
    return head + bound + rec(EOF) + b''.join(substreams)


def write_ole(name, stream_name, data, cycle=False):
    """A minimal OLE2 compound file holding one stream (kept out of the mini
    stream by padding it to 4096 bytes, as Excel does)."""
    data = data + bytes(max(0, 4096 - len(data)))
    data += bytes(-len(data) % 512)
    sectors = len(data) // 512
    assert sectors <= 126
    fat = [0xFFFFFFFD, 0xFFFFFFFE] + [3 + i for i in range(sectors - 1)]
    fat.append(2 if cycle else 0xFFFFFFFE)
    fat += [0xFFFFFFFF] * (128 - len(fat))
    header = (b'\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1' + bytes(16)
              + struct.pack('<HHHHH', 0x3E, 3, 0xFFFE, 9, 6) + bytes(6)
              + struct.pack('<IIIIIIIII', 0, 1, 1, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0)
              + struct.pack('<I', 0) + b'\xFF' * 4 * 108)

    def entry(entry_name, kind, child, start, size):
        encoded = (entry_name + '\0').encode('utf-16-le')
        return (encoded.ljust(64, b'\0') + struct.pack('<HBBIII', len(encoded), kind, 1, 0xFFFFFFFF, 0xFFFFFFFF, child)
                + bytes(16) + struct.pack('<I', 0) + bytes(16) + struct.pack('<III', start, size, 0))

    directory = entry('Root Entry', 5, 1, 0xFFFFFFFE, 0) + entry(stream_name, 2, 0xFFFFFFFF, 2, len(data))
    directory += (b'\0' * 64 + struct.pack('<HBBIII', 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
                  + bytes(16 + 4 + 16 + 12)) * 2
    with open(out(name), 'wb') as f:
        f.write(header + struct.pack('<128I', *fat) + directory + data)


def write_hand_formulas():
    """Every kind of cached formula result, a date style, and a chart embedded in
    the worksheet whose records are no cells of the sheet."""
    sst = ['共享']
    globals_records = (rec(CODEPAGE, struct.pack('<H', 1200)) + rec(FORMAT, struct.pack('<H', 164) + xlstr('yyyy-mm-dd'))
                       + xf(0) + xf(164) + rec(SST, struct.pack('<II', 1, 1) + b''.join(xlstr(s) for s in sst)))
    records = (formula(0, 0, struct.pack('<d', 13812345678.0))
               + formula(0, 1, special_result(0)) + rec(STRING, xlstr('文本结果'))
               + formula(0, 2, special_result(1, 1))
               + formula(0, 3, special_result(1, 0))
               + formula(0, 4, special_result(2, 0x07))
               + formula(0, 5, special_result(3))
               + formula(0, 6, struct.pack('<d', 45366.5), style=1)
               + formula(0, 7, special_result(0)) + rec(0x04BC, struct.pack('<HHBBBBH', 0, 0, 7, 7, 0, 1, 3) + b'\x1e\x01\x00') + rec(STRING, xlstr('after SHRFMLA'))
               + bof(0x0600, 0x0020) + rec(NUMBER, cell(1, 0) + struct.pack('<d', 99)) + rec(EOF)
               + rec(LABELSST, cell(1, 1) + struct.pack('<I', 0))
               + rec(BOOLERR, cell(2, 0) + b'\x2a\x01')
               + rec(BOOLERR, cell(2, 1) + b'\x01\x00')
               + rec(RK, cell(2, 2) + struct.pack('<i', (-12345 << 2) | 3)))
    write_ole('hand_formulas.xls', 'Workbook', stream(0x0600, [('公式', 0, records)], globals_records))


def write_hand_sst_split():
    """Shared strings cut by CONTINUE records at every awkward place."""
    first = 'abcdefghij'                # compressed, its last 4 characters in the next record, wide there
    second = '富文本ab'                 # rich runs and a phonetic block running into the next record
    third = 'start'                     # begins exactly at a CONTINUE
    fourth = '中文字符串被截断'          # wide, cut between characters
    part1 = (struct.pack('<II', 2000000000, 2000000000)
             + struct.pack('<HB', len(first), 0) + first[:6].encode('latin-1'))
    part2 = (b'\x01' + first[6:].encode('utf-16-le')
             + struct.pack('<HBHI', len(second), 0x0D, 2, 6) + second.encode('utf-16-le') + bytes(4))
    part3 = bytes(4) + bytes(6)          # the rest of the runs and the phonetic block
    part4 = xlstr(third) + struct.pack('<HB', len(fourth), 1) + fourth[:3].encode('utf-16-le')
    part5 = b'\x01' + fourth[3:].encode('utf-16-le')
    sst = rec(SST, part1) + b''.join(rec(CONTINUE, p) for p in (part2, part3, part4, part5))
    records = b''.join(rec(LABELSST, cell(i, 0) + struct.pack('<I', i)) for i in range(4))
    write_ole('hand_sst_split.xls', 'Workbook', stream(0x0600, [('Sheet1', 0, records)], xf(0) + sst))


def write_hand_biff5():
    """An Excel 95 workbook in code page 936, with a chart sheet between its worksheets."""
    def gbk8(text):
        data = text.encode('gbk')
        return struct.pack('<B', len(data)) + data

    def gbk16(text):
        data = text.encode('gbk')
        return struct.pack('<H', len(data)) + data

    globals_records = rec(CODEPAGE, struct.pack('<H', 936)) + rec(FORMAT, struct.pack('<H', 164) + gbk8('yyyy"年"m"月"d"日"'))
    globals_records += xf(0) + xf(164)
    first = (rec(LABEL, cell(0, 0) + gbk16('张三')) + rec(NUMBER, cell(0, 1) + struct.pack('<d', 13812345678.0))
             + rec(RSTRING, cell(0, 2) + gbk16('北京市') + b'\x01\x00\x00')
             + formula(0, 3, special_result(0)) + rec(STRING, gbk16('公式文本'))
             + rec(RK, cell(0, 4, 1) + struct.pack('<I', (45366 << 2) | 2)))
    second = rec(LABEL, cell(0, 0) + gbk16('李四'))
    sheets = [('联系人', 0, first), ('图表', 2, b''), ('第二页', 0, second)]
    write_ole('hand_biff5_cp936.xls', 'Book', stream(0x0500, sheets, globals_records, gbk8))


def single_sheet(records, globals_records=b''):
    return stream(0x0600, [('Sheet1', 0, records)], xf(0) + globals_records)


def write_refused_and_hostile():
    plain = rec(LABEL, cell(0, 0) + xlstr('大写'))
    write_ole('hand_capitalised.xls', 'WORKBOOK', single_sheet(plain))
    write_ole('hand_encrypted.xls', 'Workbook',
              stream(0x0600, [('Sheet1', 0, plain)], rec(FILEPASS, struct.pack('<HHH', 1, 1, 1) + bytes(48))))
    # The weak XOR obfuscation, here with a made-up key and password hash.
    write_ole('hand_xor.xls', 'Workbook',
              stream(0x0600, [('Sheet1', 0, plain)], rec(FILEPASS, struct.pack('<HHH', 0, 0x1234, 0x5678))))
    with open(out('hand_excel4.xls'), 'wb') as f:
        f.write(rec(0x0409, struct.pack('<HHH', 0, 0x0010, 0)) + rec(EOF))
    write_ole('hostile_fat_cycle.xls', 'Workbook', single_sheet(plain) + bytes(5000), cycle=True)
    # A record in the sheet claims 8000 bytes of a stream of 4096.
    write_ole('hostile_record_length.xls', 'Workbook', single_sheet(plain + struct.pack('<HH', NUMBER, 8000) + bytes(10)))
    write_ole('hostile_sst_index.xls', 'Workbook',
              single_sheet(rec(LABELSST, cell(2, 1) + struct.pack('<I', 7)), rec(SST, struct.pack('<II', 1, 1) + xlstr('x'))))
    # A million columns and rows claimed; cells beyond Excel's columns; the last row.
    extent = (rec(DIMENSIONS, struct.pack('<IIHHH', 0, 0xFFFFFFFF, 0, 0xFFFF, 0))
              + rec(NUMBER, cell(0, 300) + struct.pack('<d', 1))
              + rec(MULRK, struct.pack('<HH', 1, 254) + struct.pack('<HiHiHi', 0, 6, 0, 10, 0, 14) + struct.pack('<H', 256))
              + rec(NUMBER, cell(65535, 0) + struct.pack('<d', 2)))
    write_ole('hostile_extent.xls', 'Workbook', single_sheet(extent))


# --------------------------------------------------------------------------
# Encrypted workbooks

DEFAULT_PASSWORD = 'VelvetSweatshop'
# Records that stay in the clear: BOF, FILEPASS, InterfaceHdr, RRDHead,
# UsrExcl, FileLock, RRDInfo. BOUNDSHEET keeps its first four bytes clear.
CLEAR_RECORDS = {BOF, FILEPASS, 0x00E1, 0x0138, 0x0194, 0x0195, 0x0196}


def rc4(key, data):
    state = list(range(256))
    j = 0
    for i in range(256):
        j = (j + state[i] + key[i % len(key)]) % 256
        state[i], state[j] = state[j], state[i]
    i = j = 0
    result = bytearray()
    for byte in data:
        i = (i + 1) % 256
        j = (j + state[i]) % 256
        state[i], state[j] = state[j], state[i]
        result.append(byte ^ state[(state[i] + state[j]) % 256])
    return bytes(result)


def rc4_filepass(password, salt):
    """FILEPASS of RC4 encryption with MD5 keys, and the key of each block."""
    truncated = hashlib.md5(password.encode('utf-16-le')).digest()[:5]
    base = hashlib.md5((truncated + salt) * 16).digest()[:5]

    def key(block):
        return hashlib.md5(base + struct.pack('<I', block)).digest()
    verifier = bytes(range(0x30, 0x40))
    check = rc4(key(0), verifier + hashlib.md5(verifier).digest())
    return struct.pack('<HHH', 1, 1, 1) + salt + check, key


def cryptoapi_filepass(password, salt, key_bits):
    """FILEPASS of RC4 CryptoAPI encryption with SHA-1 keys, and the key of each block."""
    salted = hashlib.sha1(salt + password.encode('utf-16-le')).digest()

    def key(block):
        derived = hashlib.sha1(salted + struct.pack('<I', block)).digest()[:key_bits // 8]
        return derived + bytes(11) if key_bits == 40 else derived
    verifier = bytes(range(0x50, 0x60))
    check = rc4(key(0), verifier + hashlib.sha1(verifier).digest())
    provider = 'Microsoft Enhanced Cryptographic Provider v1.0\0'.encode('utf-16-le')
    header = struct.pack('<IIIIIIII', 0x04, 0, 0x6801, 0x8004, key_bits, 1, 0, 0) + provider
    return (struct.pack('<HHHII', 1, 4, 2, 0x04, len(header)) + header
            + struct.pack('<I', 16) + salt + check[:16] + struct.pack('<I', 20) + check[16:]), key


def records_of(data):
    pos = 0
    while pos + 4 <= len(data):
        rid, size = struct.unpack_from('<HH', data, pos)
        yield rid, pos, data[pos + 4:pos + 4 + size]
        pos += 4 + size


def encrypt_stream(data, filepass_body, key):
    """Puts FILEPASS after the first BOF, moves the sheets' positions by its
    length and encrypts every record after it, each byte with the keystream at
    its own position (block = position // 1024, rekeyed per block)."""
    filepass = rec(FILEPASS, filepass_body)
    first = 4 + struct.unpack_from('<H', data, 2)[0]
    plain = bytearray(data[:first] + filepass + data[first:])
    for rid, pos, body in records_of(bytes(plain)):
        if rid == BOUNDSHEET:
            struct.pack_into('<I', plain, pos + 4, struct.unpack_from('<I', body)[0] + len(filepass))
    keystreams = [rc4(key(block), bytes(1024)) for block in range(len(plain) // 1024 + 1)]
    encrypted = bytearray(plain)
    for rid, pos, body in records_of(bytes(plain)):
        if pos < first + len(filepass) or rid in CLEAR_RECORDS:
            continue
        begin = pos + 4 + (4 if rid == BOUNDSHEET else 0)
        for at in range(begin, pos + 4 + len(body)):
            encrypted[at] ^= keystreams[at // 1024][at % 1024]
    return bytes(encrypted)


def write_encrypted():
    data = contacts_book().get_biff_data()
    salt = bytes(range(16))
    for name, password, make in [
            ('encrypted_rc4.xls', DEFAULT_PASSWORD, lambda p: rc4_filepass(p, salt)),
            ('encrypted_cryptoapi.xls', DEFAULT_PASSWORD, lambda p: cryptoapi_filepass(p, salt, 128)),
            ('encrypted_cryptoapi_40bit.xls', DEFAULT_PASSWORD, lambda p: cryptoapi_filepass(p, salt, 40)),
            ('encrypted_rc4_password.xls', 'secret', lambda p: rc4_filepass(p, salt)),
            ('encrypted_cryptoapi_password.xls', 'secret', lambda p: cryptoapi_filepass(p, salt, 128))]:
        write_ole(name, 'Workbook', encrypt_stream(data, *make(password)))


def main():
    write_xlwt_values()
    write_xlwt_contacts()
    write_xlwt_1904()
    write_xlwt_long_sst()
    write_hand_formulas()
    write_hand_sst_split()
    write_hand_biff5()
    write_refused_and_hostile()
    write_encrypted()
    convert_with_libreoffice()


if __name__ == '__main__':
    main()
