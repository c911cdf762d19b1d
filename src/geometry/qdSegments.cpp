#include "qdSegments.h"

#include <cmath>

#include "qdCurveMath.h"
#include "qdFunction.h"

namespace {
struct TQuad {
  TFPoint P[4];
  bool Arc = false;
  // Corner indexes of the edge on the right of the travel direction and of the one
  // on its left (start corner first). Arc quads of counter-clockwise arcs have
  // them the other way round from straight ones.
  int R0 = 0, R1 = 1, L0 = 3, L1 = 2;
};

struct TSegment {
  std::vector<TQuad> Quads;
};

bool IntersectLines(const TFPoint& A0, const TFPoint& A1, const TFPoint& B0, const TFPoint& B1,
                    TFPoint& I) {
  const double dax = A1.X - A0.X, day = A1.Y - A0.Y;
  const double dbx = B1.X - B0.X, dby = B1.Y - B0.Y;
  const double den = dax * dby - day * dbx;
  if (std::fabs(den) <= 1e-15) return false;
  const double t = ((B0.X - A0.X) * dby - (B0.Y - A0.Y) * dbx) / den;
  I = {A0.X + t * dax, A0.Y + t * day, A0.Z};
  return std::isfinite(I.X) && std::isfinite(I.Y);
}

TFPoint CentreLineDirection(const TQuad& Q) {
  const TFPoint s = MiddleFPoint(Q.P[Q.R0], Q.P[Q.L0]);
  const TFPoint e = MiddleFPoint(Q.P[Q.R1], Q.P[Q.L1]);
  return NormalizeFPoint(SubFPoint(e, s));
}

// Joins the last quad of the earlier segment (A) with the first of the next (B).
void Join(TQuad& A, TQuad& B) {
  if (A.Arc && B.Arc) return;
  const TFPoint da = CentreLineDirection(A), db = CentreLineDirection(B);
  if (std::fabs(da.X * db.Y - da.Y * db.X) <= 1e-6) return;
  TFPoint ir, il;
  if (!IntersectLines(A.P[A.R0], A.P[A.R1], B.P[B.R0], B.P[B.R1], ir)) return;
  if (!IntersectLines(A.P[A.L0], A.P[A.L1], B.P[B.L0], B.P[B.L1], il)) return;
  if (IsEqualFPoints(ir, A.P[A.R0], 1e-9) || IsEqualFPoints(il, A.P[A.L0], 1e-9)) return;
  const bool mixed = A.Arc != B.Arc;
  auto angleOk = [&](const TFPoint& I, const TFPoint& FarA, const TFPoint& FarB) {
    const double ang = AngleBetween(I, FarA, FarB);
    return mixed ? ang >= 14.5 : ang > 29;
  };
  if (!angleOk(ir, A.P[A.R0], B.P[B.R1]) || !angleOk(il, A.P[A.L0], B.P[B.L1])) return;
  if (!A.Arc) {
    A.P[A.R1] = ir;
    A.P[A.L1] = il;
  }
  if (!B.Arc) {
    B.P[B.R0] = ir;
    B.P[B.L0] = il;
  }
}
} // namespace

bool TqdCreatorSegments::Build(const TFPointList& Points,
                               const std::vector<TqdOutlineVertex>& Vertices, double GlobalWidth,
                               double PolyStartWidth, bool Closed, TFPointList& Quads) {
  Quads.Clear(false);
  // The outline walks the point list by the vertices' counts: they must match.
  long long total = 0;
  for (const TqdOutlineVertex& v : Vertices)
    if (v.Count > 0) total += v.Count;
  if (total != Points.Count() || Points.Count() < 2) return false;

  // Constant width: either the polyline's own start width or one shared by all vertices.
  if (!Vertices.empty() && Vertices[0].StartWidth == 0) {
    if (GlobalWidth == 0) GlobalWidth = PolyStartWidth;
  } else if (!Vertices.empty()) {
    const double w = Vertices[0].StartWidth;
    bool same = true;
    for (std::size_t i = 0; i + 1 < Vertices.size() && same; ++i)
      if (Vertices[i].Count >= 0 && (Vertices[i].StartWidth != w || Vertices[i].EndWidth != w))
        same = false;
    if (same) GlobalWidth = w;
  }
  if (!std::isfinite(GlobalWidth)) GlobalWidth = 0;

  const int np = Points.Count();
  std::vector<TSegment> segs;
  bool broken = true;
  bool closingSegment = false; // the last segment built is the closing one
  bool firstIsStart = false;   // the first segment built starts at the first vertex
  bool seenVertex = false;
  int offset = 0;
  for (std::size_t vi = 0; vi < Vertices.size(); ++vi) {
    const TqdOutlineVertex& v = Vertices[vi];
    if (v.Count < 0) continue;
    const int first = offset;
    offset += v.Count;
    const bool last = offset >= np;
    if (last && !Closed) break;
    // The segment's points: this vertex's points and the next point.
    std::vector<TFPoint> pts;
    for (int k = first; k < offset; ++k) pts.push_back(Points[k]);
    pts.push_back(Points[last ? 0 : offset]);

    double ws, we;
    if (GlobalWidth != 0) {
      ws = we = GlobalWidth / 2;
    } else {
      ws = v.StartWidth / 2;
      we = v.EndWidth / 2;
    }
    if (!std::isfinite(ws) || !std::isfinite(we) || (ws == 0 && we == 0)) {
      broken = true;
      seenVertex = true;
      if (last) break;
      continue;
    }
    TSegment seg;
    const bool arc = v.Count > 1;
    TFPoint centre;
    if (arc) {
      centre = BulgeCenter(pts.front(), pts.back(), v.Bulge);
      const double r = std::sqrt(SqrDistance2D(centre, pts.front()));
      if (r > 1e-9) {
        ws = std::min(ws, r);
        we = std::min(we, r);
      }
    }
    const int n = static_cast<int>(pts.size()) - 1;
    for (int e = 0; e < n; ++e) {
      const TFPoint& p0 = pts[e];
      const TFPoint& p1 = pts[e + 1];
      if (n > 1 && IsEqualFPoints(p0, p1, 1e-9)) continue;
      const double w0 = ws + (we - ws) * e / n;
      const double w1 = ws + (we - ws) * (e + 1) / n;
      TQuad q;
      q.Arc = arc;
      if (!arc) {
        const TFPoint d = NormalizeFPoint({p1.X - p0.X, p1.Y - p0.Y, 0});
        const TFPoint u{d.Y, -d.X, 0};
        q.P[0] = AddFPoint(p0, ScaleFPoint(u, w0));
        q.P[1] = AddFPoint(p1, ScaleFPoint(u, w1));
        q.P[2] = SubFPoint(p1, ScaleFPoint(u, w1));
        q.P[3] = SubFPoint(p0, ScaleFPoint(u, w0));
      } else {
        const TFPoint r0 = NormalizeFPoint({p0.X - centre.X, p0.Y - centre.Y, 0});
        const TFPoint r1 = NormalizeFPoint({p1.X - centre.X, p1.Y - centre.Y, 0});
        q.P[0] = SubFPoint(p0, ScaleFPoint(r0, w0));
        q.P[1] = SubFPoint(p1, ScaleFPoint(r1, w1));
        q.P[2] = AddFPoint(p1, ScaleFPoint(r1, w1));
        q.P[3] = AddFPoint(p0, ScaleFPoint(r0, w0));
        if (v.Bulge > 0) { // counter-clockwise: the -r side is on the left
          q.R0 = 3, q.R1 = 2, q.L0 = 0, q.L1 = 1;
        }
      }
      seg.Quads.push_back(q);
    }
    if (!seg.Quads.empty()) {
      if (segs.empty()) firstIsStart = !seenVertex;
      closingSegment = last;
      if (!broken && !segs.empty() && !segs.back().Quads.empty())
        Join(segs.back().Quads.back(), seg.Quads.front());
      segs.push_back(std::move(seg));
      broken = false;
    }
    seenVertex = true;
    if (last) break;
  }
  // A closed polyline joins its last quadrilateral to its first when the chain runs
  // unbroken through the closing vertex.
  if (Closed && segs.size() > 1 && !broken && closingSegment && firstIsStart)
    Join(segs.back().Quads.back(), segs.front().Quads.front());

  for (const TSegment& s : segs)
    for (const TQuad& q : s.Quads)
      for (const TFPoint& p : q.P) Quads.Add(p);
  return true;
}
