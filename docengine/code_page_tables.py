# Writes code_page_tables.inc: the upper half of each single-byte code page the RTF reader
# decodes itself, from Python's codec tables. Run: python3 code_page_tables.py
import codecs
pages = [(437,'cp437'),(850,'cp850'),(852,'cp852'),(866,'cp866'),(874,'cp874'),
 (1250,'cp1250'),(1251,'cp1251'),(1252,'cp1252'),(1253,'cp1253'),(1254,'cp1254'),(1255,'cp1255'),
 (1256,'cp1256'),(1257,'cp1257'),(1258,'cp1258'),(10000,'mac_roman'),(10006,'mac_greek'),
 (10007,'mac_cyrillic'),(10029,'mac_latin2'),(10079,'mac_iceland'),(10081,'mac_turkish')]
out = []
out.append("// Generated from the Unicode mapping tables: the upper half (bytes 0x80-0xFF) of each")
out.append("// single-byte code page, as UTF-16. Bytes the code page leaves undefined map to the")
out.append("// C1 control or Latin-1 character of the same value, as Windows does.")
out.append("// Included by code_page.cpp only.")
for cp, name in pages:
    vals = []
    for b in range(128, 256):
        try:
            ch = bytes([b]).decode(name)
            v = ord(ch)
        except UnicodeDecodeError:
            v = b
        if v > 0xFFFF: v = 0xFFFD
        vals.append(v)
    out.append("constexpr char16_t kHigh%d[128] = {" % cp)
    for i in range(0,128,8):
        out.append("    " + ", ".join("0x%04X" % v for v in vals[i:i+8]) + ",")
    out.append("};")
out.append("constexpr SingleByteTable kSingleByteTables[] = {")
for cp, name in pages:
    out.append("    {%d, kHigh%d}," % (cp, cp))
out.append("};")
open(__import__('os').path.join(__import__('os').path.dirname(__file__) or '.', 'code_page_tables.inc'),'w').write("\n".join(out)+"\n")
