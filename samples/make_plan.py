#!/usr/bin/env python3
"""Writes plan.dxf, the sample drawing the editor opens: a small floor plan with
layers and colours, polylines with bulges and widths, arcs, circles, blocks
(a door and a table with chairs) inserted several times, and a paper layout
with a title frame and two viewports onto the model.

usage: make_plan.py [OUT.dxf]   (default: plan.dxf beside this script)
"""
import math
import os
import sys


class W:
    def __init__(self):
        self.out = []
        self.handle = 0x20

    def g(self, code, value):
        if isinstance(value, float):
            value = repr(round(value, 9))
        self.out.append(f"{code:>3}\n{value}\n")

    def h(self):
        self.handle += 1
        self.g(5, f"{self.handle:X}")
        return self.handle

    def pt(self, code, x, y, z=0.0):
        self.g(code, float(x))
        self.g(code + 10, float(y))
        self.g(code + 20, float(z))

    def text(self):
        return "".join(self.out)


def entity(w, kind, layer, subclass, owner, paper=False, color=None):
    w.g(0, kind)
    h = w.h()
    w.g(330, f"{owner:X}")
    w.g(100, "AcDbEntity")
    if paper:
        w.g(67, 1)
    w.g(8, layer)
    if color is not None:
        w.g(62, color)
    w.g(100, subclass)
    return h


def lwpolyline(w, layer, owner, pts, closed=False, width=0.0, paper=False, color=None):
    """pts: (x, y) or (x, y, bulge)."""
    entity(w, "LWPOLYLINE", layer, "AcDbPolyline", owner, paper, color)
    w.g(90, len(pts))
    w.g(70, 1 if closed else 0)
    if width:
        w.g(43, float(width))
    for p in pts:
        w.g(10, float(p[0]))
        w.g(20, float(p[1]))
        if len(p) > 2 and p[2]:
            w.g(42, float(p[2]))


def line(w, layer, owner, a, b, paper=False):
    entity(w, "LINE", layer, "AcDbLine", owner, paper)
    w.pt(10, *a)
    w.pt(11, *b)


def circle(w, layer, owner, c, r, color=None):
    entity(w, "CIRCLE", layer, "AcDbCircle", owner, color=color)
    w.pt(10, *c)
    w.g(40, float(r))


def arc(w, layer, owner, c, r, a0, a1):
    entity(w, "ARC", layer, "AcDbCircle", owner)
    w.pt(10, *c)
    w.g(40, float(r))
    w.g(100, "AcDbArc")
    w.g(50, float(a0))
    w.g(51, float(a1))


def text(w, layer, owner, p, height, s, paper=False):
    entity(w, "TEXT", layer, "AcDbText", owner, paper)
    w.pt(10, *p)
    w.g(40, float(height))
    w.g(1, s)
    w.g(100, "AcDbText")


def insert(w, layer, owner, name, p, angle=0.0, scale=1.0):
    entity(w, "INSERT", layer, "AcDbBlockReference", owner)
    w.g(2, name)
    w.pt(10, *p)
    if scale != 1.0:
        w.g(41, float(scale))
        w.g(42, float(scale))
    if angle:
        w.g(50, float(angle))


def viewport(w, owner, vid, centre, size, view_centre, view_height, paper_owner_layer="VIEWPORTS"):
    entity(w, "VIEWPORT", paper_owner_layer, "AcDbViewport", owner, paper=True)
    w.pt(10, *centre)
    w.g(40, float(size[0]))
    w.g(41, float(size[1]))
    w.g(69, vid)
    w.g(12, float(view_centre[0]))
    w.g(22, float(view_centre[1]))
    w.g(13, 0.0)
    w.g(23, 0.0)
    w.g(14, 10.0)
    w.g(24, 10.0)
    w.g(15, 10.0)
    w.g(25, 10.0)
    w.pt(16, 0, 0, 1)
    w.pt(17, 0, 0, 0)
    w.g(42, 50.0)
    w.g(43, 0.0)
    w.g(44, 0.0)
    w.g(45, float(view_height))
    w.g(50, 0.0)
    w.g(51, 0.0)
    w.g(72, 100)
    w.g(90, 32864)
    w.g(1, "")
    w.g(281, 0)
    w.g(71, 1)
    w.g(74, 0)
    w.g(110, 0.0)
    w.g(120, 0.0)
    w.g(130, 0.0)
    w.g(111, 1.0)
    w.g(121, 0.0)
    w.g(131, 0.0)
    w.g(112, 0.0)
    w.g(122, 1.0)
    w.g(132, 0.0)
    w.g(79, 0)
    w.g(146, 0.0)
    w.g(170, 0)


def layout_object(w, h, owner, name, order, rec, limmax, paper=(297.0, 210.0), paper_name="ISO_A4_(297.00_x_210.00_MM)"):
    """A LAYOUT object: plot settings on a paper of paper (mm), limits up to limmax."""
    w.g(0, "LAYOUT"); w.g(5, f"{h:X}"); w.g(330, f"{owner:X}")
    w.g(100, "AcDbPlotSettings"); w.g(1, ""); w.g(2, "none_device"); w.g(4, paper_name)
    w.g(6, ""); w.g(40, 7.5); w.g(41, 20.0); w.g(42, 7.5); w.g(43, 20.0); w.g(44, float(paper[0]))
    w.g(45, float(paper[1]))
    w.g(46, 0.0); w.g(47, 0.0); w.g(48, 0.0); w.g(49, 0.0); w.g(140, 0.0); w.g(141, 0.0)
    w.g(142, 1.0); w.g(143, 1.0); w.g(70, 688); w.g(72, 1); w.g(73, 0); w.g(74, 5); w.g(7, "")
    w.g(75, 16); w.g(147, 1.0); w.g(148, 0.0); w.g(149, 0.0)
    w.g(100, "AcDbLayout"); w.g(1, name); w.g(70, 1); w.g(71, order)
    w.g(10, 0.0); w.g(20, 0.0); w.g(11, float(limmax[0])); w.g(21, float(limmax[1]))
    w.pt(12, 0, 0); w.pt(14, 0, 0); w.pt(15, float(limmax[0]), float(limmax[1]))
    w.g(146, 0.0); w.pt(13, 0, 0); w.pt(16, 1, 0); w.pt(17, 0, 1); w.g(76, 0)
    w.g(330, f"{rec:X}")


def linetype_table(w, linetypes):
    """linetypes: (name, description, dash lengths: positive drawn, negative gaps)."""
    w.g(0, "TABLE"); w.g(2, "LTYPE"); w.h(); w.g(100, "AcDbSymbolTable"); w.g(70, len(linetypes))
    for name, desc, pattern in linetypes:
        w.g(0, "LTYPE"); w.h(); w.g(100, "AcDbSymbolTableRecord"); w.g(100, "AcDbLinetypeTableRecord")
        w.g(2, name); w.g(70, 0); w.g(3, desc); w.g(72, 65); w.g(73, len(pattern))
        w.g(40, float(sum(abs(x) for x in pattern)))
        for x in pattern:
            w.g(49, float(x)); w.g(74, 0)
    w.g(0, "ENDTAB")


def layer_table(w, layers):
    """layers: (name, colour, linetype, lineweight in 1/100 mm)."""
    w.g(0, "TABLE"); w.g(2, "LAYER"); w.h(); w.g(100, "AcDbSymbolTable"); w.g(70, len(layers))
    for name, color, ltype, weight in layers:
        w.g(0, "LAYER"); w.h(); w.g(100, "AcDbSymbolTableRecord"); w.g(100, "AcDbLayerTableRecord")
        w.g(2, name); w.g(70, 0); w.g(62, color); w.g(6, ltype); w.g(370, weight)
    w.g(0, "ENDTAB")


def block_record_table(w, table_handle, records):
    """records: (handle, block name, handle of its layout or 0)."""
    w.g(0, "TABLE"); w.g(2, "BLOCK_RECORD"); w.g(5, f"{table_handle:X}"); w.g(100, "AcDbSymbolTable")
    w.g(70, len(records))
    for h, name, layout in records:
        w.g(0, "BLOCK_RECORD"); w.g(5, f"{h:X}"); w.g(330, f"{table_handle:X}")
        w.g(100, "AcDbSymbolTableRecord"); w.g(100, "AcDbBlockTableRecord"); w.g(2, name)
        w.g(340, f"{layout:X}")
    w.g(0, "ENDTAB")


def block_definition(w, name, rec, body, paper=False, flags=0):
    """BLOCK, what body() writes, ENDBLK; the base point is the origin."""
    w.g(0, "BLOCK"); w.h(); w.g(330, f"{rec:X}"); w.g(100, "AcDbEntity")
    if paper:
        w.g(67, 1)
    w.g(8, "0"); w.g(100, "AcDbBlockBegin"); w.g(2, name); w.g(70, flags); w.pt(10, 0, 0); w.g(3, name)
    w.g(1, "")
    body()
    w.g(0, "ENDBLK"); w.h(); w.g(330, f"{rec:X}"); w.g(100, "AcDbEntity")
    if paper:
        w.g(67, 1)
    w.g(8, "0"); w.g(100, "AcDbBlockEnd")


LAYERS = [("0", 7), ("WALLS", 7), ("DOORS", 1), ("FURNITURE", 3), ("WINDOWS", 5),
          ("DIMENSIONS", 2), ("TEXT", 6), ("FRAME", 8), ("VIEWPORTS", 4)]


def header_section(w, variables):
    """The HEADER section: (name, group code, value) rows; a tuple value is a point."""
    w.g(0, "SECTION"); w.g(2, "HEADER")
    for name, code, value in variables:
        w.g(9, name)
        if isinstance(value, tuple):
            w.pt(code, *value)
        else:
            w.g(code, value)
    w.g(0, "ENDSEC")


def space_blocks(w, ms_rec, ps_rec):
    """The model and paper space block definitions, both empty: their entities are in ENTITIES."""
    block_definition(w, "*Model_Space", ms_rec, lambda: None)
    block_definition(w, "*Paper_Space", ps_rec, lambda: None, paper=True)


def objects_section(w, root, layouts_dict, layouts):
    """The OBJECTS section: the root dictionary, its layout dictionary and one LAYOUT per row
    (handle, name, block record, limits maximum[, paper size in mm, paper name]), in tab order."""
    w.g(0, "SECTION"); w.g(2, "OBJECTS")
    w.g(0, "DICTIONARY"); w.g(5, f"{root:X}"); w.g(100, "AcDbDictionary"); w.g(281, 1)
    w.g(3, "ACAD_LAYOUT"); w.g(350, f"{layouts_dict:X}")
    w.g(0, "DICTIONARY"); w.g(5, f"{layouts_dict:X}"); w.g(330, f"{root:X}"); w.g(100, "AcDbDictionary"); w.g(281, 1)
    for h, name, *_ in layouts:
        w.g(3, name); w.g(350, f"{h:X}")
    for order, (h, name, rec, limmax, *paper) in enumerate(layouts):
        layout_object(w, h, layouts_dict, name, order, rec, limmax, *paper)
    w.g(0, "ENDSEC")


def build():
    w = W()
    # Fixed handles for the objects that refer to each other.
    H_MS_REC, H_PS_REC, H_DOOR_REC, H_TABLE_REC = 0x1F, 0x1E, 0x1D, 0x1C
    H_ROOT, H_LAYOUTS, H_LAYOUT_MODEL, H_LAYOUT_PAPER = 0xC, 0x1A, 0x1B, 0x19
    H_BR_TABLE = 0x18

    header_section(w, [("$ACADVER", 1, "AC1015"), ("$DWGCODEPAGE", 3, "ANSI_1252"), ("$INSBASE", 10, (0, 0)),
                       ("$EXTMIN", 10, (-1, -1)), ("$EXTMAX", 10, (17, 11)), ("$INSUNITS", 70, 6),
                       ("$MEASUREMENT", 70, 1), ("$TILEMODE", 70, 1), ("$LTSCALE", 40, 0.5),
                       ("$HANDSEED", 5, "FFFF")])

    w.g(0, "SECTION"); w.g(2, "TABLES")
    linetype_table(w, [("ByBlock", "", []), ("ByLayer", "", []), ("Continuous", "Solid line", []),
                       ("DASHED", "Dashed __ __ __", [0.5, -0.25])])
    layer_table(w, [(name, color, "DASHED" if name == "WINDOWS" else "Continuous", 50 if name == "WALLS" else -3)
                    for name, color in LAYERS])
    w.g(0, "TABLE"); w.g(2, "STYLE"); w.h(); w.g(100, "AcDbSymbolTable"); w.g(70, 1)
    w.g(0, "STYLE"); w.h(); w.g(100, "AcDbSymbolTableRecord"); w.g(100, "AcDbTextStyleTableRecord")
    w.g(2, "Standard"); w.g(70, 0); w.g(40, 0.0); w.g(41, 1.0); w.g(50, 0.0); w.g(71, 0)
    w.g(42, 0.2); w.g(3, "txt"); w.g(4, "")
    w.g(0, "ENDTAB")
    block_record_table(w, H_BR_TABLE, [(H_MS_REC, "*Model_Space", H_LAYOUT_MODEL),
                                       (H_PS_REC, "*Paper_Space", H_LAYOUT_PAPER),
                                       (H_DOOR_REC, "DOOR", 0), (H_TABLE_REC, "TABLE4", 0)])
    w.g(0, "ENDSEC")

    w.g(0, "SECTION"); w.g(2, "BLOCKS")

    def block(name, rec, body, paper=False):
        block_definition(w, name, rec, body, paper)

    space_blocks(w, H_MS_REC, H_PS_REC)

    def door():
        # leaf and swing: a 0.9 m door opening to the left
        line(w, "0", H_DOOR_REC, (0, 0), (0, 0.9))
        arc(w, "0", H_DOOR_REC, (0, 0), 0.9, 0, 90)
    block("DOOR", H_DOOR_REC, door)

    def table4():
        lwpolyline(w, "0", H_TABLE_REC, [(-0.6, -0.4), (0.6, -0.4), (0.6, 0.4), (-0.6, 0.4)], closed=True)
        for x, y in [(-0.35, -0.65), (0.35, -0.65), (-0.35, 0.65), (0.35, 0.65)]:
            circle(w, "0", H_TABLE_REC, (x, y), 0.2, color=0)  # BYBLOCK colour
    block("TABLE4", H_TABLE_REC, table4)
    w.g(0, "ENDSEC")

    w.g(0, "SECTION"); w.g(2, "ENTITIES")
    ms = H_MS_REC
    # outer walls, 0.3 m wide, with a rounded bay on the east side
    lwpolyline(w, "WALLS", ms, [(0, 0), (12, 0), (12, 3, 1.0), (12, 7), (12, 10), (0, 10)],
               closed=True, width=0.3)
    # inner walls
    lwpolyline(w, "WALLS", ms, [(5, 0), (5, 4)], width=0.15)
    lwpolyline(w, "WALLS", ms, [(5, 6), (5, 10)], width=0.15)
    lwpolyline(w, "WALLS", ms, [(5, 5), (8, 5)], width=0.15)
    # doors
    insert(w, "DOORS", ms, "DOOR", (5, 4))
    insert(w, "DOORS", ms, "DOOR", (8, 5), angle=-90)
    insert(w, "DOORS", ms, "DOOR", (2, 0), angle=0, scale=1.0)
    # windows: thin double lines on a dashed layer, and a curved sill in the bay
    for x0 in (1.5, 7.5):
        line(w, "WINDOWS", ms, (x0, 10.1), (x0 + 2, 10.1))
        line(w, "WINDOWS", ms, (x0, 9.9), (x0 + 2, 9.9))
    arc(w, "WINDOWS", ms, (12, 5), 2.3, -90, 90)
    # furniture: tables with chairs, one rotated, one red by entity colour
    insert(w, "FURNITURE", ms, "TABLE4", (2.5, 6.5))
    insert(w, "FURNITURE", ms, "TABLE4", (9, 8), angle=30)
    entity(w, "INSERT", "FURNITURE", "AcDbBlockReference", ms, color=1)
    w.g(2, "TABLE4"); w.pt(10, 9, 2.5)
    circle(w, "FURNITURE", ms, (13.2, 5), 0.4, color=30)
    # room labels
    text(w, "TEXT", ms, (1, 1), 0.4, "Living")
    text(w, "TEXT", ms, (6, 1), 0.4, "Kitchen")
    text(w, "TEXT", ms, (6, 8.8), 0.4, "Bedroom")
    # a dimension-like line with ticks
    line(w, "DIMENSIONS", ms, (0, -1), (12, -1))
    for x in (0, 12):
        lwpolyline(w, "DIMENSIONS", ms, [(x - 0.15, -1.15), (x + 0.15, -0.85)], width=0.05)

    # paper space: frame, title and two viewports
    ps = H_PS_REC
    viewport(w, ps, 1, (148.5, 105), (297, 210), (6.5, 5), 20)
    lwpolyline(w, "FRAME", ps, [(10, 10), (287, 10), (287, 200), (10, 200)], closed=True, width=0.7, paper=True)
    lwpolyline(w, "FRAME", ps, [(187, 10), (287, 10), (287, 40), (187, 40)], closed=True, paper=True)
    text(w, "TEXT", ps, (192, 25), 5, "Draftwell sample plan", paper=True)
    text(w, "TEXT", ps, (192, 15), 3, "Scale 1:50 and 1:20", paper=True)
    viewport(w, ps, 2, (95, 110), (160, 170), (6.5, 5), 13)
    viewport(w, ps, 3, (237, 120), (90, 70), (9, 8), 3)
    w.g(0, "ENDSEC")

    objects_section(w, H_ROOT, H_LAYOUTS, [(H_LAYOUT_MODEL, "Model", H_MS_REC, (12, 9)),
                                           (H_LAYOUT_PAPER, "Plan", H_PS_REC, (297, 210))])
    w.g(0, "EOF")
    return w.text()


def write_drawing(build_drawing, default_name):
    """Writes the drawing to the file named on the command line, else beside this script."""
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), default_name)
    with open(out, "w", newline="\r\n") as f:
        f.write(build_drawing())
    print(out)


if __name__ == "__main__":
    write_drawing(build, "plan.dxf")
