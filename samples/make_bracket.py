#!/usr/bin/env python3
"""Writes bracket.dxf, the sample that shows what Draftwell draws: a mounting
bracket in millimetres with a front view and a hatched section, real dimensions
(linear, diameter, radius, angular) in a dimension style, formatted multiline
notes, dashed centre and hidden lines, a roughness symbol and a title block
that are blocks with attributes, and an A3 sheet with two viewports (the views
at 1:1 and a detail at 2:1).

usage: make_bracket.py [OUT.dxf]   (default: bracket.dxf beside this script)
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_plan import (W, arc, block_definition, block_record_table, circle, entity, header_section,  # noqa: E402
                       insert, layer_table, line, linetype_table, lwpolyline, objects_section, space_blocks,
                       text, viewport, write_drawing)

LAYERS = [  # name, colour, linetype, lineweight (1/100 mm)
    ("0", 7, "Continuous", -3),
    ("OUTLINE", 7, "Continuous", 50),
    ("HIDDEN", 8, "HIDDEN", 25),
    ("CENTER", 1, "CENTER", 18),
    ("HATCH", 9, "Continuous", 18),
    ("DIMENSIONS", 3, "Continuous", 18),
    ("NOTES", 2, "Continuous", 25),
    ("FRAME", 7, "Continuous", 50),
    ("VIEWPORTS", 4, "Continuous", -3),
]

LINETYPES = [  # name, description, pattern (mm)
    ("ByBlock", "", []),
    ("ByLayer", "", []),
    ("Continuous", "Solid line", []),
    ("DASHED", "Dashed __ __ __", [12.7, -6.35]),
    ("HIDDEN", "Hidden __ __ __", [6.35, -3.175]),
    ("CENTER", "Center ____ _ ____ _", [31.75, -6.35, 6.35, -6.35]),
]

# The plate: 120 x 80 x 10, a 45 degree chamfer, an R10 fillet, a central hole
# of 40 and three holes of 8 on a bolt circle of R30 at 30, 90 and 150 degrees.
HOLE = (50.0, 40.0)
BOLT_R = 30.0
BOLT_ANGLES = (30.0, 90.0, 150.0)


def polar(c, r, deg):
    a = math.radians(deg)
    return (c[0] + r * math.cos(a), c[1] + r * math.sin(a))


def dimension(w, owner, kind, subclasses, points, text_at, style="ISO-25", override="", block=None):
    """A dimension; without a block the program generates its lines, arrows and text."""
    entity(w, "DIMENSION", "DIMENSIONS", "AcDbDimension", owner)
    if block:
        w.g(2, block)
    w.pt(10, *points[10])
    w.pt(11, *text_at)
    w.g(70, kind)
    w.g(71, 5)
    w.g(1, override)
    w.g(3, style)
    for sub in subclasses:
        w.g(100, sub[0])
        for code, value in sub[1:]:
            if isinstance(value, tuple):
                w.pt(code, *value)
            else:
                w.g(code, value)


def linear(w, owner, p1, p2, line_at, angle, text_at):
    dimension(w, owner, 0, [("AcDbAlignedDimension", (13, p1), (14, p2), (50, float(angle))),
                            ("AcDbRotatedDimension",)], {10: line_at}, text_at)


def mtext(w, layer, owner, p, height, width, s, style="NOTES", paper=False, attach=1, direction=None, color=None):
    entity(w, "MTEXT", layer, "AcDbMText", owner, paper, color)
    w.pt(10, *p)
    w.g(40, float(height))
    w.g(41, float(width))
    w.g(71, attach)
    w.g(72, 1)
    if direction is not None:
        w.pt(11, math.cos(math.radians(direction)), math.sin(math.radians(direction)))
    while len(s) > 250:  # the text goes in 250-character pieces, the last one in group 1
        w.g(3, s[:250])
        s = s[250:]
    w.g(1, s)
    w.g(7, style)


def hatch_ansi31(w, layer, owner, loops, scale):
    """A pattern hatch of ANSI31 (lines at 45 degrees, 3.175 apart at scale 1)."""
    entity(w, "HATCH", layer, "AcDbHatch", owner)
    w.pt(10, 0, 0)
    w.pt(210, 0, 0, 1)
    w.g(2, "ANSI31")
    w.g(70, 0)
    w.g(71, 0)
    w.g(91, len(loops))
    for pts in loops:
        w.g(92, 3)  # external polyline loop
        w.g(72, 0)
        w.g(73, 1)
        w.g(93, len(pts))
        for x, y in pts:
            w.g(10, float(x))
            w.g(20, float(y))
        w.g(97, 0)
    w.g(75, 0)
    w.g(76, 1)
    w.g(52, 0.0)
    w.g(41, float(scale))
    w.g(77, 0)
    w.g(78, 1)
    step = 3.175 * scale
    w.g(53, 45.0)
    w.g(43, 0.0)
    w.g(44, 0.0)
    w.g(45, -step * math.sqrt(0.5))
    w.g(46, step * math.sqrt(0.5))
    w.g(79, 0)
    w.g(98, 0)


def attdef(w, owner, p, height, tag, prompt, default, paper=False):
    entity(w, "ATTDEF", "0", "AcDbText", owner, paper)
    w.pt(10, *p)
    w.g(40, float(height))
    w.g(1, default)
    w.g(7, "TITLE")
    w.g(100, "AcDbAttributeDefinition")
    w.g(3, prompt)
    w.g(2, tag)
    w.g(70, 0)


def insert_with_attributes(w, layer, owner, name, p, values, paper=False):
    """values: (tag, value, position, height) for each attribute."""
    entity(w, "INSERT", layer, "AcDbBlockReference", owner, paper)
    w.g(66, 1)
    w.g(2, name)
    w.pt(10, *p)
    for tag, value, at, height in values:
        entity(w, "ATTRIB", layer, "AcDbText", owner, paper)
        w.pt(10, at[0] + p[0], at[1] + p[1])
        w.g(40, float(height))
        w.g(1, value)
        w.g(7, "TITLE")
        w.g(100, "AcDbAttribute")
        w.g(2, tag)
        w.g(70, 0)
    w.g(0, "SEQEND")
    w.h()
    w.g(330, f"{owner:X}")
    w.g(100, "AcDbEntity")
    if paper:
        w.g(67, 1)
    w.g(8, layer)


ARROW, DIM_TEXT = 2.5, 3.5  # the dimension style's arrow size and text height


def solid_arrow(w, owner, tip, deg):
    """A filled arrowhead whose tip points in the direction deg."""
    ux, uy = math.cos(math.radians(deg)), math.sin(math.radians(deg))
    bx, by, half = tip[0] - ux * ARROW, tip[1] - uy * ARROW, ARROW / 6
    entity(w, "SOLID", "0", "AcDbTrace", owner, color=0)
    w.pt(10, *tip)
    w.pt(11, bx - uy * half, by + ux * half)
    w.pt(12, bx + uy * half, by - ux * half)
    w.pt(13, bx + uy * half, by - ux * half)


def dim_text(w, owner, p, s, deg=0.0):
    mtext(w, "0", owner, p, DIM_TEXT, 0, s, style="DIMTEXT", attach=5, direction=deg, color=0)


def angular_block(w, owner, vertex, radius, a0, a1, label, extensions):
    """An angle from a0 to a1 (counter-clockwise) on an arc about vertex; extensions:
    (angle, start radius) of the extension lines."""
    arc(w, "0", owner, vertex, radius, a0, a1)
    solid_arrow(w, owner, polar(vertex, radius, a0), a0 - 90)
    solid_arrow(w, owner, polar(vertex, radius, a1), a1 + 90)
    for a, r0 in extensions:
        line(w, "0", owner, polar(vertex, r0, a), polar(vertex, radius + 1.25, a))
    dim_text(w, owner, polar(vertex, radius + 4, (a0 + a1) / 2), label)


def dimension_blocks(w):
    """The pictures of the diameter, radius and angular dimensions: (name, body)."""
    d1, d2 = polar(HOLE, 20, 225), polar(HOLE, 20, 45)
    fillet = (10, 70)

    def diameter(owner):
        line(w, "0", owner, d1, d2)
        solid_arrow(w, owner, d2, 45)
        solid_arrow(w, owner, d1, 225)
        dim_text(w, owner, polar(polar(HOLE, 8, 45), 3, 135), "\\U+00D840", 45)

    def radius(owner):
        line(w, "0", owner, polar(fillet, 10, 135), polar(fillet, 19, 135))
        solid_arrow(w, owner, polar(fillet, 10, 135), -45)
        dim_text(w, owner, polar(fillet, 24, 135), "R10")

    def bolt_angle(owner):
        angular_block(w, owner, HOLE, 42, 30, 90, "60\\U+00B0", [(30, BOLT_R + 4.6), (90, BOLT_R + 4.6)])

    def chamfer_angle(owner):
        angular_block(w, owner, (100, 80), 16, -45, 0, "45\\U+00B0", [(0, 0)])

    return [("*D1", diameter), ("*D2", radius), ("*D3", bolt_angle), ("*D4", chamfer_angle)]


TITLE_FIELDS = [  # tag, prompt, value, position in the block, height
    ("TITLE", "Title", "MOUNTING BRACKET", (4, 34), 6),
    ("NUMBER", "Drawing number", "DW-0044-01", (4, 22), 4),
    ("MATERIAL", "Material", "S235JR, 10 mm", (4, 12), 3),
    ("SCALE", "Scale", "1:1", (104, 22), 4),
    ("DRAWN", "Drawn by", "Draftwell", (104, 12), 3),
    ("SHEET", "Sheet", "1/1", (150, 22), 4),
]


def build():
    w = W()
    H_MS_REC, H_PS_REC, H_TB_REC, H_RA_REC = 0x1F, 0x1E, 0x1D, 0x1C
    H_ROOT, H_LAYOUTS, H_LAYOUT_MODEL, H_LAYOUT_PAPER = 0xC, 0x1A, 0x1B, 0x19
    H_BR_TABLE = 0x18
    H_DIM_RECS = (0x17, 0x16, 0x15, 0x14)

    header_section(w, [("$ACADVER", 1, "AC1015"), ("$DWGCODEPAGE", 3, "ANSI_1252"), ("$INSBASE", 10, (0, 0)),
                       ("$EXTMIN", 10, (-30, -60)), ("$EXTMAX", 10, (185, 100)), ("$INSUNITS", 70, 4),
                       ("$MEASUREMENT", 70, 1), ("$TILEMODE", 70, 0), ("$LTSCALE", 40, 0.5),
                       ("$PSLTSCALE", 70, 1), ("$DIMSTYLE", 2, "ISO-25"), ("$HANDSEED", 5, "FFFF")])

    w.g(0, "SECTION"); w.g(2, "TABLES")
    linetype_table(w, LINETYPES)
    layer_table(w, LAYERS)
    w.g(0, "TABLE"); w.g(2, "STYLE"); w.h(); w.g(100, "AcDbSymbolTable"); w.g(70, 4)
    for name, font in [("Standard", "txt"), ("NOTES", "romans.shx"), ("TITLE", "romand.shx"),
                       ("DIMTEXT", "arial.ttf")]:
        w.g(0, "STYLE"); h = w.h(); w.g(100, "AcDbSymbolTableRecord"); w.g(100, "AcDbTextStyleTableRecord")
        w.g(2, name); w.g(70, 0); w.g(40, 0.0); w.g(41, 1.0); w.g(50, 0.0); w.g(71, 0)
        w.g(42, 2.5); w.g(3, font); w.g(4, "")
        if name == "DIMTEXT":
            h_dim_style = h
    w.g(0, "ENDTAB")
    w.g(0, "TABLE"); w.g(2, "DIMSTYLE"); w.h(); w.g(100, "AcDbSymbolTable"); w.g(70, 1)
    w.g(100, "AcDbDimStyleTable")
    w.g(0, "DIMSTYLE"); w.handle += 1; w.g(105, f"{w.handle:X}")
    w.g(100, "AcDbSymbolTableRecord"); w.g(100, "AcDbDimStyleTableRecord")
    w.g(2, "ISO-25"); w.g(70, 0)
    for code, value in [(40, 1.0), (41, 2.5), (42, 0.625), (44, 1.25), (73, 0), (74, 0), (77, 1),
                        (140, 3.5), (141, 2.5), (147, 0.625), (271, 0), (78, 8)]:
        w.g(code, value)
    w.g(340, f"{h_dim_style:X}")
    w.g(0, "ENDTAB")
    block_record_table(w, H_BR_TABLE, [(H_MS_REC, "*Model_Space", H_LAYOUT_MODEL),
                                       (H_PS_REC, "*Paper_Space", H_LAYOUT_PAPER),
                                       (H_TB_REC, "TITLEBLOCK", 0), (H_RA_REC, "ROUGHNESS", 0)] +
                       [(H_DIM_RECS[i], name, 0) for i, (name, _) in enumerate(dimension_blocks(w))])
    w.g(0, "ENDSEC")

    w.g(0, "SECTION"); w.g(2, "BLOCKS")

    def block(name, rec, body, paper=False, flags=0):
        block_definition(w, name, rec, body, paper, flags)

    space_blocks(w, H_MS_REC, H_PS_REC)

    def title_block():
        # 180 x 45 mm, drawn from its lower left corner
        lwpolyline(w, "0", H_TB_REC, [(0, 0), (180, 0), (180, 45), (0, 45)], closed=True, width=0.5)
        line(w, "0", H_TB_REC, (0, 30), (180, 30))
        line(w, "0", H_TB_REC, (100, 0), (100, 30))
        line(w, "0", H_TB_REC, (146, 0), (146, 30))
        line(w, "0", H_TB_REC, (0, 19), (100, 19))
        for tag, prompt, value, at, height in TITLE_FIELDS:
            attdef(w, H_TB_REC, at, height, tag, prompt, value)
    block("TITLEBLOCK", H_TB_REC, title_block, flags=2)

    def roughness():
        # the surface texture symbol: a check mark 5 mm high with the value above its arm
        lwpolyline(w, "0", H_RA_REC, [(-2.9, 5), (0, 0), (5.8, 10), (16, 10)])
        attdef(w, H_RA_REC, (3.5, 11), 2.5, "RA", "Roughness", "Ra 3.2")
    block("ROUGHNESS", H_RA_REC, roughness, flags=2)
    for rec, (name, body) in zip(H_DIM_RECS, dimension_blocks(w)):
        block(name, rec, lambda: body(rec), flags=1)
    w.g(0, "ENDSEC")

    w.g(0, "SECTION"); w.g(2, "ENTITIES")
    ms = H_MS_REC
    bulge = math.tan(math.radians(90) / 4)
    # front view: the plate outline, counter-clockwise
    lwpolyline(w, "OUTLINE", ms, [(0, 0), (120, 0), (120, 60), (100, 80), (10, 80, bulge), (0, 70)], closed=True)
    circle(w, "OUTLINE", ms, HOLE, 20)
    for a in BOLT_ANGLES:
        circle(w, "OUTLINE", ms, polar(HOLE, BOLT_R, a), 4)
    # the counterbore behind the central hole, hidden
    circle(w, "HIDDEN", ms, HOLE, 26)
    # centre lines and the bolt circle
    line(w, "CENTER", ms, (HOLE[0] - 32, HOLE[1]), (HOLE[0] + 32, HOLE[1]))
    line(w, "CENTER", ms, (HOLE[0], HOLE[1] - 32), (HOLE[0], HOLE[1] + 38))
    arc(w, "CENTER", ms, HOLE, BOLT_R, 15, 165)
    for a in BOLT_ANGLES:
        c = polar(HOLE, BOLT_R, a)
        line(w, "CENTER", ms, polar(c, 6.5, a), polar(c, -6.5, a))

    # section A-A beside it: the plate 10 thick, cut through the hole and the top bolt hole
    x0, x1 = 150.0, 160.0
    cuts = [(0, 20), (60, 66), (74, 80)]  # y ranges of solid material on the cut
    for y0, y1 in cuts:
        lwpolyline(w, "OUTLINE", ms, [(x0, y0), (x1, y0), (x1, y1), (x0, y1)], closed=True)
    hatch_ansi31(w, "HATCH", ms, [[(x0, y0), (x1, y0), (x1, y1), (x0, y1)] for y0, y1 in cuts], 0.5)
    line(w, "CENTER", ms, (x0 - 5, HOLE[1]), (x1 + 5, HOLE[1]))
    line(w, "CENTER", ms, (x0 - 5, 70), (x1 + 5, 70))
    text(w, "NOTES", ms, (x0 - 6, -12), 5, "A-A")

    # dimensions
    linear(w, ms, (0, 0), HOLE, (0, -10), 0, (25, -10))
    linear(w, ms, (0, 0), (120, 0), (0, -20), 0, (60, -20))
    linear(w, ms, (0, 0), (0, 70), (-12, 0), 90, (-12, 40))
    linear(w, ms, (0, 0), HOLE, (-22, 0), 90, (-22, 20))
    linear(w, ms, (10, 80), (0, 0), (-32, 0), 90, (-32, 40))
    linear(w, ms, (x0, 80), (x1, 80), (x0, 90), 0, (155, 90))
    # the hole's diameter, the fillet's radius, the angle between two bolt holes and
    # the chamfer's angle, with their pictures in blocks as CAD programs write them
    d1, d2 = polar(HOLE, 20, 225), polar(HOLE, 20, 45)
    dimension(w, ms, 3 | 32, [("AcDbDiametricDimension", (15, d1), (40, 0.0))], {10: d2},
              polar(polar(HOLE, 8, 45), 3, 135), block="*D1")
    dimension(w, ms, 4 | 32, [("AcDbRadialDimension", (15, polar((10, 70), 10, 135)), (40, 9.0))],
              {10: (10, 70)}, polar((10, 70), 24, 135), block="*D2")
    p1, p2 = polar(HOLE, BOLT_R, 30), polar(HOLE, BOLT_R, 90)
    dimension(w, ms, 5 | 32, [("AcDb3PointAngularDimension", (13, p1), (14, p2), (15, HOLE))],
              {10: polar(HOLE, 42, 60)}, polar(HOLE, 46, 60), block="*D3")
    dimension(w, ms, 2 | 32, [("AcDb2LineAngularDimension", (13, (60, 80)), (14, (100, 80)), (15, (100, 80)),
                               (16, polar((100, 80), 16, -22.5)))],
              {10: (120, 60)}, polar((100, 80), 20, -22.5), block="*D4")

    # surface texture on the top edge and on the section's face
    insert_with_attributes(w, "NOTES", ms, "ROUGHNESS", (40, 80), [("RA", "Ra 3.2", (3.5, 11), 2.5)])
    insert_with_attributes(w, "NOTES", ms, "ROUGHNESS", (x1, 10), [("RA", "Ra 1.6", (3.5, 11), 2.5)])

    mtext(w, "NOTES", ms, (0, -30), 3.5, 170,
          "{\\fLiberation Sans|b1|i0|c0|p34;NOTES}\\P"
          "1. Break all sharp edges, {\\C1;0.5 mm at 45 degrees}.\\P"
          "2. Three holes of {\\H1.2x;8} mm on a bolt circle of R30.\\P"
          "3. Finish: {\\Lzinc plated\\l}, {\\fLiberation Serif|b0|i1|c0|p18;8 \\U+00B5m} at least.")

    # the A3 sheet: frame, the views at 1:1, the detail at 2:1 and the title block
    ps = H_PS_REC
    viewport(w, ps, 1, (210, 148.5), (420, 297), (90, 20), 200)
    lwpolyline(w, "FRAME", ps, [(10, 10), (410, 10), (410, 287), (10, 287)], closed=True, width=0.7, paper=True)
    viewport(w, ps, 2, (130, 170), (230, 200), (75, 20), 200)
    viewport(w, ps, 3, (330, 200), (110, 120), (HOLE[0], 62), 60)
    text(w, "NOTES", ps, (25, 60), 5, "FRONT VIEW AND SECTION A-A   1:1", paper=True)
    text(w, "NOTES", ps, (285, 130), 5, "DETAIL B   2:1", paper=True)
    insert_with_attributes(w, "FRAME", ps, "TITLEBLOCK", (225, 15),
                           [(tag, value, at, height) for tag, _, value, at, height in TITLE_FIELDS], paper=True)
    w.g(0, "ENDSEC")

    a3 = ((420.0, 297.0), "ISO_A3_(420.00_x_297.00_MM)")
    objects_section(w, H_ROOT, H_LAYOUTS, [(H_LAYOUT_MODEL, "Model", H_MS_REC, (185, 100), *a3),
                                           (H_LAYOUT_PAPER, "Sheet A3", H_PS_REC, (420, 297), *a3)])
    w.g(0, "EOF")
    return w.text()


if __name__ == "__main__":
    write_drawing(build, "bracket.dxf")
