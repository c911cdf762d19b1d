#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/seed_*.

Every seed is made here, small (under 4 KiB), from the formats' public structure:
no file of any other origin is copied. Run again after changing it; campaigns add
their own inputs beside the seeds (scripts/fuzz.sh).
"""
import gzip
import io
import os
import struct
import zipfile
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")


def put(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    assert len(data) <= 4096, (target, name, len(data))
    with open(os.path.join(d, "seed_" + name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- DXF

def groups(pairs):
    return "".join("%d\n%s\n" % (c, v) for c, v in pairs)


def binary(pairs, codesize=2):
    out = bytearray(b"AutoCAD Binary DXF\r\n\x1a\x00")
    for c, v in pairs:
        out += struct.pack("<h", c) if codesize == 2 else bytes([c])
        if 10 <= c < 60 or 110 <= c < 150 or 210 <= c < 240 or 460 <= c < 470 or 1010 <= c < 1060:
            out += struct.pack("<d", float(v))
        elif 60 <= c < 80 or 170 <= c < 180 or 270 <= c < 290 or 370 <= c < 390 or 400 <= c < 410 or 1060 <= c < 1071:
            out += struct.pack("<h", int(v))
        elif 90 <= c < 100 or 420 <= c < 430 or 440 <= c < 460 or c == 1071:
            out += struct.pack("<i", int(v))
        elif 160 <= c < 170:
            out += struct.pack("<q", int(v))
        elif 290 <= c < 300:
            out += bytes([int(v)])
        elif 310 <= c < 320 or c == 1004:
            b = bytes.fromhex(v)
            out += bytes([len(b)]) + b
        else:
            out += v.encode("latin-1") + b"\x00"
    return bytes(out)


HEADER = [(0, "SECTION"), (2, "HEADER"), (9, "$ACADVER"), (1, "AC1015"), (9, "$DWGCODEPAGE"), (3, "ANSI_1252"),
          (9, "$INSBASE"), (10, "0"), (20, "0"), (30, "0"), (9, "$HANDSEED"), (5, "FF"), (0, "ENDSEC")]
TABLES = [(0, "SECTION"), (2, "TABLES"), (0, "TABLE"), (2, "LAYER"), (70, "1"), (0, "LAYER"), (2, "WALLS"), (70, "0"),
          (62, "3"), (6, "DASHED"), (0, "ENDTAB"), (0, "TABLE"), (2, "LTYPE"), (70, "1"), (0, "LTYPE"), (2, "DASHED"),
          (70, "0"), (3, "__ __"), (72, "65"), (73, "2"), (40, "0.75"), (49, "0.5"), (49, "-0.25"), (0, "ENDTAB"),
          (0, "TABLE"), (2, "STYLE"), (70, "1"), (0, "STYLE"), (2, "NOTES"), (70, "0"), (40, "0"), (41, "1"),
          (3, "simplex.shx"), (0, "ENDTAB"), (0, "ENDSEC")]
BLOCKS = [(0, "SECTION"), (2, "BLOCKS"), (0, "BLOCK"), (8, "0"), (2, "BOLT"), (70, "2"), (10, "0"), (20, "0"), (30, "0"),
          (3, "BOLT"), (0, "CIRCLE"), (8, "0"), (10, "0"), (20, "0"), (30, "0"), (40, "1"), (0, "ATTDEF"), (8, "0"),
          (10, "0"), (20, "0"), (30, "0"), (40, "0.5"), (1, "M6"), (3, "Size?"), (2, "SIZE"), (70, "0"),
          (0, "ENDBLK"), (8, "0"), (0, "ENDSEC")]
ENTITIES = {
    "line": [(0, "LINE"), (8, "WALLS"), (10, "0"), (20, "0"), (30, "0"), (11, "10"), (21, "5"), (31, "0")],
    "arc": [(0, "ARC"), (8, "0"), (10, "5"), (20, "5"), (30, "0"), (40, "2.5"), (50, "30"), (51, "300")],
    "ellipse": [(0, "ELLIPSE"), (8, "0"), (10, "0"), (20, "0"), (30, "0"), (11, "4"), (21, "0"), (31, "0"), (40, "0.5"),
                (41, "0"), (42, "6.283185307")],
    "lwpolyline": [(0, "LWPOLYLINE"), (100, "AcDbEntity"), (8, "0"), (100, "AcDbPolyline"), (90, "3"), (70, "1"),
                   (10, "0"), (20, "0"), (42, "0.5"), (10, "4"), (20, "0"), (10, "4"), (20, "3")],
    "polyline": [(0, "POLYLINE"), (8, "0"), (66, "1"), (70, "0"), (0, "VERTEX"), (8, "0"), (10, "0"), (20, "0"),
                 (0, "VERTEX"), (8, "0"), (10, "3"), (20, "1"), (0, "SEQEND"), (8, "0")],
    "text": [(0, "TEXT"), (8, "0"), (7, "NOTES"), (10, "1"), (20, "1"), (30, "0"), (40, "2.5"), (1, "Bolt %%c6"),
             (50, "15"), (72, "1"), (11, "3"), (21, "1"), (31, "0")],
    "mtext": [(0, "MTEXT"), (8, "0"), (10, "0"), (20, "10"), (30, "0"), (40, "2"), (41, "40"), (71, "1"),
              (1, "{\\fArial|b1;Title}\\PSecond \\U+00E9 line\\~x^y;")],
    "insert": [(0, "INSERT"), (8, "0"), (2, "BOLT"), (66, "1"), (10, "20"), (20, "5"), (30, "0"), (41, "2"),
               (42, "2"), (50, "45"), (70, "2"), (71, "2"), (44, "3"), (45, "3"), (0, "ATTRIB"), (8, "0"), (10, "20"),
               (20, "5"), (30, "0"), (40, "0.5"), (1, "M8"), (2, "SIZE"), (70, "0"), (0, "SEQEND"), (8, "0")],
    "hatch": [(0, "HATCH"), (8, "0"), (10, "0"), (20, "0"), (30, "0"), (2, "SOLID"), (70, "1"), (71, "0"), (91, "1"),
              (92, "2"), (72, "0"), (73, "1"), (93, "3"), (10, "0"), (20, "0"), (10, "5"), (20, "0"), (10, "5"),
              (20, "5"), (97, "0"), (75, "0"), (76, "1"), (98, "0")],
    "spline": [(0, "SPLINE"), (8, "0"), (70, "8"), (71, "3"), (72, "8"), (73, "4"), (74, "0"), (40, "0"), (40, "0"),
               (40, "0"), (40, "0"), (40, "1"), (40, "1"), (40, "1"), (40, "1"), (10, "0"), (20, "0"), (30, "0"),
               (10, "1"), (20, "2"), (30, "0"), (10, "3"), (20, "2"), (30, "0"), (10, "4"), (20, "0"), (30, "0")],
    "dimension": [(0, "DIMENSION"), (8, "0"), (2, "*D1"), (10, "0"), (20, "5"), (30, "0"), (11, "5"), (21, "6"),
                  (31, "0"), (70, "32"), (1, "<>"), (13, "0"), (23, "0"), (33, "0"), (14, "10"), (24, "0"), (34, "0")],
    "solid_face": [(0, "SOLID"), (8, "0"), (10, "0"), (20, "0"), (11, "1"), (21, "0"), (12, "0"), (22, "1"), (13, "1"),
                   (23, "1"), (0, "3DFACE"), (8, "0"), (10, "0"), (20, "0"), (30, "0"), (11, "1"), (21, "0"), (31, "1"),
                   (12, "1"), (22, "1"), (32, "0"), (13, "0"), (23, "1"), (33, "0")],
    "leader_xdata": [(0, "LEADER"), (8, "0"), (3, "Standard"), (71, "1"), (72, "0"), (76, "2"), (10, "0"), (20, "0"),
                     (30, "0"), (10, "5"), (20, "5"), (30, "0"), (1001, "ACAD"), (1000, "DSTYLE"), (1002, "{"),
                     (1070, "41"), (1040, "2.0"), (1002, "}")],
}
OBJECTS = [(0, "SECTION"), (2, "OBJECTS"), (0, "DICTIONARY"), (5, "C"), (330, "0"), (100, "AcDbDictionary"),
           (3, "ACAD_LAYOUT"), (350, "1A"), (0, "DICTIONARY"), (5, "1A"), (330, "C"), (100, "AcDbDictionary"),
           (3, "Layout1"), (350, "1B"), (0, "LAYOUT"), (5, "1B"), (330, "1A"), (100, "AcDbPlotSettings"),
           (1, ""), (100, "AcDbLayout"), (1, "Layout1"), (70, "1"), (71, "1"), (10, "0"), (20, "0"), (11, "420"),
           (21, "297"), (0, "ENDSEC")]


def dxf_seeds():
    for name, ents in ENTITIES.items():
        put("fuzz_dxf_reader", name + ".dxf",
            groups(HEADER + [(0, "SECTION"), (2, "ENTITIES")] + ents + [(0, "ENDSEC"), (0, "EOF")]))
    whole = HEADER + TABLES + BLOCKS + [(0, "SECTION"), (2, "ENTITIES")] + ENTITIES["line"] + ENTITIES["insert"] + \
        ENTITIES["text"] + [(0, "ENDSEC")] + OBJECTS + [(0, "EOF")]
    put("fuzz_dxf_reader", "whole.dxf", groups(whole))
    put("fuzz_dxf_reader", "whole_crlf.dxf", groups(whole).replace("\n", "\r\n"))
    put("fuzz_dxf_reader", "r12.dxf", groups([(999, "made by a test"), (0, "SECTION"), (2, "HEADER"), (9, "$ACADVER"),
                                              (1, "AC1009"), (0, "ENDSEC")] + TABLES + BLOCKS +
                                             [(0, "SECTION"), (2, "ENTITIES")] + ENTITIES["polyline"] +
                                             ENTITIES["insert"] + [(0, "ENDSEC"), (0, "EOF")]))
    put("fuzz_dxf_reader", "nested_blocks.dxf", groups(
        [(0, "SECTION"), (2, "BLOCKS"), (0, "BLOCK"), (2, "A"), (70, "0"), (10, "0"), (20, "0"), (0, "INSERT"), (2, "B"),
         (10, "1"), (20, "0"), (0, "ENDBLK"), (0, "BLOCK"), (2, "B"), (70, "0"), (10, "0"), (20, "0"), (0, "INSERT"),
         (2, "A"), (10, "1"), (20, "0"), (0, "ENDBLK"), (0, "ENDSEC"), (0, "SECTION"), (2, "ENTITIES"), (0, "INSERT"),
         (2, "A"), (10, "0"), (20, "0"), (0, "ENDSEC"), (0, "EOF")]))
    bin_whole = HEADER + [(0, "SECTION"), (2, "ENTITIES")] + ENTITIES["line"] + ENTITIES["lwpolyline"] + \
        ENTITIES["text"] + [(0, "ENDSEC"), (0, "EOF")]
    put("fuzz_dxf_binary", "entities_2byte.dxf", binary(bin_whole))
    put("fuzz_dxf_binary", "r12_1byte.dxf", binary([(0, "SECTION"), (2, "ENTITIES")] + ENTITIES["line"] +
                                                   ENTITIES["arc"] + [(0, "ENDSEC"), (0, "EOF")], codesize=1))
    put("fuzz_dxf_binary", "blocks_2byte.dxf", binary(TABLES + BLOCKS + [(0, "SECTION"), (2, "ENTITIES")] +
                                                      ENTITIES["insert"] + [(0, "ENDSEC"), (0, "EOF")]))
    for name in ("line", "text", "mtext"):
        put("fuzz_dxf_tokenizer", name + ".dxf", groups(ENTITIES[name]))
    put("fuzz_dxf_tokenizer", "binary.dxf", binary(ENTITIES["line"] + ENTITIES["text"]))


# ---------------------------------------------------------------- DWG skeletons

def dwg_seeds():
    # R13-R2000: the file header with its section locators, then the header sentinel.
    sent_header = bytes.fromhex("CF7B1F23FDDE38A95F7C68B84E6D33A3")
    sent_classes = bytes.fromhex("8DA1C4B8C4A9F8C5C0DCF45FE7CFB68A")
    for ver in ("AC1012", "AC1014", "AC1015"):
        head = bytearray(ver.encode() + b"\x00" * 5 + b"\x0f\x01" + struct.pack("<I", 0) + b"\x00\x00\x1e\x00")
        head += struct.pack("<I", 3)
        at = 25 + 9 * 3 + 2 + 16
        records = [(0, at, 64), (1, at + 64, 48), (2, at + 112, 16)]
        for n, seek, size in records:
            head += bytes([n]) + struct.pack("<II", seek, size)
        head += b"\x00\x00" + bytes.fromhex("95A04E2899821AE55E41E05F9D3A4D00")
        body = sent_header + struct.pack("<I", 20) + bytes(range(20)) + b"\x00\x00" + bytes(12) + \
            sent_classes + struct.pack("<I", 8) + bytes(8) + b"\x00\x00" + bytes(14) + bytes(16)
        put("fuzz_dwg_reader", ver + "_skeleton.dwg", bytes(head) + body)
    # R2004 and later: the scrambled header block at 0x80 follows the file's first bytes.
    for ver in ("AC1018", "AC1024", "AC1027", "AC1032"):
        f = bytearray(ver.encode() + bytes(5) + b"\x00\x03" + struct.pack("<I", 0x80) + b"\x1f\x1e\x00\x00")
        f += bytes(0x100 - len(f))
        f[0x80:0x8c] = b"AcFssFcAJMB\x00"
        put("fuzz_dwg_reader", ver + "_skeleton.dwg", bytes(f) + bytes(64))
    # R2007: its own header layout.
    f = bytearray(b"AC1021" + bytes(0x3ba))
    put("fuzz_dwg_reader", "AC1021_skeleton.dwg", bytes(f))
    # R9-R12: the file header with entity and table locators.
    for ver in ("AC1009", "AC1006", "AC1004", "AC2.10"):
        f = bytearray(ver.encode().ljust(6, b"\x00") + bytes(14))
        f += struct.pack("<IIII", 0x300, 0x320, 0x340, 0x360) + bytes(0x300 - 36)
        f += bytes([1, 0, 0x10, 0]) + struct.pack("<dddd", 0, 0, 10, 10) + bytes(64)
        put("fuzz_dwg_reader", ver + "_skeleton.dwg", bytes(f[:2048]))
    # The LZ77 codec of R2004: a literal run and the end code; a match back.
    put("fuzz_dwg_lz77", "literal", bytes([0x06]) + b"abcdefghi" + bytes([0x11, 0, 0]))
    put("fuzz_dwg_lz77", "match", bytes([0x01]) + b"abcd" + bytes([0x21, 0x04, 0x00, 0x11, 0, 0]))


# ---------------------------------------------------------------- plot files

HPGL = {
    "lines.plt": "IN;SP1;PU0,0;PD1000,0,1000,1000,0,1000,0,0;PU;SP0;",
    "labels.plt": "IN;SP1;DT*,1;SI0.3,0.4;PA100,100;LBHello*;DI1,1;LBTurned*;SD1,21,2,1,4,12,5,0,6,3,7,5;SS;LBStick*;",
    "polygons.plt": "IN;SP2;PA0,0;PM0;PD500,0,500,500;PM2;FP;EP;RA800,800;EA100,100,300,300;WG200,90,45;CI150;",
    "hpgl2_pe.plt": "BPIN;PS2000,1500;PW0.35;PE<=0,0>1000,0,0,1000;PEr7PWo?_W;NP8;PC1,255,0,0;SP1;PR;PD10,10;",
    "window_scale.plt": "IN;IP0,0,4000,4000;SC0,100,0,100;IW0,0,2000,2000;PA0,0;PD100,100;RO90;LT2,4;PD0,100;",
}


def pcl_raster():
    rows = b"".join(b"\x1b*b4W" + bytes([0xAA, 0x55, 0xFF, 0x00]) for _ in range(6))
    packbits = b"\x1b*b2M\x1b*b4W" + bytes([0xFD, 0xAA, 0x01, 0x0F])
    return b"\x1bE\x1b*t300R\x1b*r32S\x1b*r8T\x1b*r1A\x1b*b0M" + rows + packbits + b"\x1b*rC\x1bE"


def plot_seeds():
    for name, text in HPGL.items():
        put("fuzz_hpgl_reader", name, text)
    pcl = pcl_raster()
    put("fuzz_hpgl_reader", "raster.pcl", pcl)
    put("fuzz_hpgl_reader", "pcl_hpgl.pcl", b"\x1bE\x1b%0B" + HPGL["lines.plt"].encode() + b"\x1b%0A\x1bE")
    put("fuzz_hpgl_reader", "pjl.prn", b"\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=HPGL2\r\n" +
        HPGL["labels.plt"].encode() + b"\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X")
    put("fuzz_hpgl_reader", "palette.pcl", b"\x1bE\x1b*v6W\x00\x03\x00\x08\x08\x08\x1b*v255a0b0c1I\x1b*r4S\x1b*r1A"
        b"\x1b*b3M\x1b*b2W\x20\xff\x1b*b1W\x41\x1b*rC")
    put("fuzz_hpgl_reader", "utf16.plt", "IN;SP1;PD100,100;".encode("utf-16"))
    put("fuzz_hpgl_reader", "lines.plt.gz", gzip.compress(HPGL["lines.plt"].encode(), mtime=0))
    put("fuzz_hpgl_reader", "two_members.gz", gzip.compress(b"IN;SP1;", mtime=0) + gzip.compress(b"PD5,5;", mtime=0))
    z = io.BytesIO()
    with zipfile.ZipFile(z, "w", zipfile.ZIP_DEFLATED) as a:
        a.writestr(zipfile.ZipInfo("drawing.plt", (1980, 1, 1, 0, 0, 0)), HPGL["polygons.plt"])
    put("fuzz_hpgl_reader", "polygons.zip", z.getvalue())


# ---------------------------------------------------------------- fonts, XML, content kinds

def shx_normal(shapes):
    out = bytearray(b"AutoCAD-86 shapes 1.0\r\n\x1a") + struct.pack("<HHH", 0, 255, len(shapes))
    for n, d in shapes:
        out += struct.pack("<HH", n, len(d))
    for _, d in shapes:
        out += d
    return bytes(out)


def shx_seeds():
    info = b"test\x00\x0a\x02\x00\x00"
    put("fuzz_shx_font", "normal.shx", shx_normal([(0, info), (65, b"A\x00\x01\x24\x02\x20\x01\x2c\x00"),
                                                   (66, b"\x00\x07\x41\x03\x02\x10\x04\x02\x0a\x20\x01\x00"),
                                                   (67, b"\x00\x08\x05\x05\x09\x01\x01\x02\x02\x00\x00\x0c\x04\x04\x7f\x00")]))
    uni = bytearray(b"AutoCAD-86 unifont 1.0\r\n\x1a") + struct.pack("<IH", 3, len(info)) + info
    for n, d in ((0x4E00, b"\x00\x01\x30\x00"), (65, b"\x00\x07\x4e\x00\x20\x00")):
        uni += struct.pack("<HH", n, len(d)) + d
    put("fuzz_shx_font", "unicode.shx", bytes(uni))
    shapes = [(0, b"big\x00\x02\x00\x00\x00"), (0x8140, b"\x00\x01\x14\x00"), (0x8141, b"\x00\x07\x00\x81\x40\x00")]
    big = bytearray(b"AutoCAD-86 bigfont 1.0\r\n\x1a") + struct.pack("<HHH", 3, 3, 1) + struct.pack("<HH", 0x81, 0x9F)
    pos = len(big) + 8 * len(shapes)
    for n, d in shapes:
        big += struct.pack("<HHI", n, len(d), pos)
        pos += len(d)
    for _, d in shapes:
        big += d
    put("fuzz_shx_font", "big.shx", bytes(big))


def xml_seeds():
    put("fuzz_xml_parser", "line.xml", '<?xml version="1.0" encoding="UTF-8"?>\n<cstLine Handle="$2A" Layer="0" '
        'Color="1" Point1="0,0,0" Point2="10,5,0"><!-- c --><Note>a &amp; b &#x41;</Note></cstLine>')
    put("fuzz_xml_parser", "polyline.xml", '<?xml version="1.0"?><cstPolyline Closed="True"><Points>'
        '<Point Value="0,0,0"/><Point Value="1,0,0" Bulge="0.5"/></Points><![CDATA[x<y]]></cstPolyline>')
    put("fuzz_xml_parser", "utf16.xml", '<?xml version="1.0" encoding="UTF-16"?><a b="c"/>'.encode("utf-16"))


def sniff_seeds():
    kinds = {
        "dwg": b"AC1015\x00\x00\x00\x00\x00\x0f\x01",
        "dxf_text": b"  0\r\nSECTION\r\n  2\r\nHEADER\r\n",
        "dxf_bom": b"\xef\xbb\xbf999\ncomment\n0\nEOF\n",
        "dxf_binary": b"AutoCAD Binary DXF\r\n\x1a\x00\x00\x00SECTION\x00",
        "hpgl": b"IN;SP1;PU0,0;PD100,100;",
        "pcl": b"\x1bE\x1b%0BIN;",
        "png": b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR",
        "gzip": b"\x1f\x8b\x08\x00",
        "zip": b"PK\x03\x04\x14\x00",
        "tiff": b"II*\x00\x08\x00",
        "bmp": b"BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00",
    }
    for name, data in kinds.items():
        put("fuzz_sniff_content", name, data)


if __name__ == "__main__":
    dxf_seeds()
    dwg_seeds()
    plot_seeds()
    shx_seeds()
    xml_seeds()
    sniff_seeds()
