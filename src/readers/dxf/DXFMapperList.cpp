// The one list of DXF mappers written by hand, and why each stays. Every other group
// an object's mapper applies is a class row's (database/Schema.cpp); a test walks the
// registered classes and fails on a mapped group that is in neither place. Solids,
// traces, 3D faces, rays and construction lines are read through their rows alone
// (TRowMapper); lines and points by the common steps.
#include "DXFBase.h"
#include "DXFMapping.h"

const std::vector<TqdDXFHandMapper>& DXFHandWrittenMappers() {
  static const std::vector<TqdDXFHandMapper> L = {
      {"*", "the steps every object takes before its own mapper: handle, owner, layer, linetype, colour, "
            "lineweight, visibility, paper space",
       {5, 6, 8, 48, 60, 62, 67, 370, 420}},
      {"LWPOLYLINE", "every code 10 starts a vertex; 40, 41, 42 belong to the vertex read last", {10, 20, 40, 41, 42}},
      {"POLYLINE", "mesh counts come from 71/72 or 73/74, default widths from 40/41", {40, 41, 71, 72, 73, 74}},
      {"VERTEX", "a polyface vertex names up to four vertices by index", {71, 72, 73, 74}},
      {"SPLINE HELIX", "control and fit points repeat and close at the next one; knots and weights are lists; "
                       "after the helix marker 10, 11, 40-42 mean the helix's axis, start, radius and turns",
       {10, 20, 30, 11, 21, 31, 40, 41, 42, 1070}},
      {"INSERT", "an insert with more than one row or column becomes an array insert; the block is found "
                 "through its record",
       {70, 71}},
      {"TEXT ATTDEF ATTRIB", "alignment, a second point used only when aligned, and the embedded text of a "
                             "multi-line attribute after 101 with codes in other meanings",
       {11, 21, 31, 71, 72, 73, 74, 280}},
      {"MTEXT", "the text comes in chunks of 3 before the last 1; the embedded object after 101 repeats codes "
                "in other meanings",
       {3, 11, 21, 31, 44, 71, 73}},
      {"SHAPE", "the shape is found by name in the drawing's shape files", {2}},
      {"DIMENSION", "its type (70) decides which points it keeps; its style and block are linked after the load",
       {1, 2, 42, 50, 53, 70}},
      {"LEADER", "vertices repeat (10); the annotation and hook come as a handle and a vector",
       {10, 20, 30, 40, 41, 73, 74, 75, 211, 221, 231, 340}},
      {"TOLERANCE", "the frame text is parsed; the direction (11) is taken only when finite", {1, 11, 21, 31}},
      {"HATCH MPOLYGON", "boundary paths, edges, pattern lines and gradient codes act on what the codes before "
                         "them made",
       {10, 20, 11, 21, 40, 41, 42, 43, 44, 45, 46, 47, 49, 53, 71, 72, 73, 74, 75, 76, 77, 78, 91, 92, 93, 94,
        95, 96, 97, 98, 450, 451, 452, 453, 460, 461, 462, 463, 470}},
      {"WIPEOUT IMAGE", "the clip boundary repeats 14; display flags and the image size are kept apart",
       {14, 24, 70, 71, 91, 280, 281, 282, 283, 360}},
      {"MLINE", "each 11 closes a vertex; 74/41 and 75/42 are per-vertex lists", {11, 21, 31, 12, 13, 40, 41, 42,
       72, 73, 74, 75}},
      {"VIEWPORT", "frozen layers repeat (331/341); older files give the view as ACAD extended data",
       {90, 331, 341, 1001, 1003, 1010, 1040}},

  };
  return L;
}

std::vector<int> DXFHandWrittenCodes(std::string_view AName) {
  std::vector<int> C;
  for (const TqdDXFHandMapper& M : DXFHandWrittenMappers()) {
    bool Match = M.Names == "*";
    for (std::size_t P = 0; !Match && P < M.Names.size();) {
      std::size_t E = M.Names.find(' ', P);
      if (E == std::string_view::npos) E = M.Names.size();
      Match = M.Names.substr(P, E - P) == AName;
      P = E + 1;
    }
    if (Match) C.insert(C.end(), M.Codes.begin(), M.Codes.end());
  }
  return C;
}
