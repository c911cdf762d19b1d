// The XML form of an area's boundary loops and of a hatch's pattern lines: child
// elements of the area's own element ("Boundaries", "Pattrens"), written after its
// attributes and read back from untrusted text.
#include <algorithm>
#include <cmath>

#include "Hatches.h"
#include "qdFunction.h"
#include "Properties.h"
#include "qdXMLParser.h"

namespace {

constexpr int cnstMaxXMLItems = 1 << 20;

TqdData Dbl(double V) {
  TqdData D;
  D.SetValueAsDouble(V);
  return D;
}
TqdData Pt(const TF2DPoint& P) {
  TqdData D;
  D.SetValueAsFPoint({P.X, P.Y, 0});
  return D;
}
TqdData Int(int V) {
  TqdData D;
  D.SetValueAsInt(V);
  return D;
}
TqdData Bool(bool V) {
  TqdData D;
  D.SetValueAsBool(V);
  return D;
}

void WriteEdge(const Tqd2DCurve& C, TqdNode& Parent, bool All) {
  TqdNode* N = Parent.AddChildNV(GetXMLName(C.ClassName()));
  if (const auto* L = dynamic_cast<const Tqd2DLine*>(&C)) {
    N->AddAttribId(xaStartPoint, Pt(L->FStartPoint));
    N->AddAttribId(xaEndPoint, Pt(L->FEndPoint));
  } else if (const auto* A = dynamic_cast<const Tqd2DArc*>(&C)) {
    N->AddAttribId(xaCenterPoint, Pt(A->FCenterPoint));
    N->AddAttribId(xaEndParam, Dbl(A->FEndParam));
    N->AddAttribId(xaRadius, Dbl(A->FRadius));
    N->AddAttribId(xaStartParam, Dbl(A->FStartParam));
    if (const auto* E = dynamic_cast<const Tqd2DEllipse*>(&C)) N->AddAttribId(xaMajorPoint, Pt(E->FMajorPoint));
  } else if (const auto* P = dynamic_cast<const Tqd2DPolyline*>(&C)) {
    N->AddAttribId(xaClosed, Bool(P->Closed()));
    TqdNode* V = N->AddChildNV(XMLAttribName(xaVertexes));
    V->AddAttribId(xaCount, Int(static_cast<int>(P->FVertexes.size())));
    for (std::size_t I = 0; I < P->FVertexes.size(); ++I) {
      TqdNode* X = V->AddChildNV(XMLAttribName(xaVertex));
      X->AddAttribId(xaPoint, Pt(P->FVertexes[I]));
      const double B = P->Bulge(static_cast<int>(I));
      if (B != 0 || All) X->AddAttribId(xaBulge, Dbl(B));
    }
  } else if (const auto* S = dynamic_cast<const Tqd2DSpline*>(&C)) {
    N->AddAttribId(xaDegree, Int(S->Degree()));
    N->AddAttribId(xaPeriodic, Bool(S->Periodic()));
    N->AddAttribId(xaRational, Bool(S->Rational()));
    if (!S->FControls.empty() || All) {
      TqdNode* L = N->AddChildNV(XMLAttribName(xaControlPoints));
      for (const TF2DPoint& Q : S->FControls) L->AddChildNV(XMLAttribName(xaPoint), Pt(Q));
    }
    if (!S->FKnots.empty() || All) {
      TqdNode* L = N->AddChildNV(XMLAttribName(xaKnotsPoints));
      for (float K : S->FKnots) L->AddChildNV(XMLAttribName(xaKnot), Dbl(K));
    }
    if (!S->FWeights.empty() || All) {
      TqdNode* L = N->AddChildNV(XMLAttribName(xaWeights));
      for (float W : S->FWeights) L->AddChildNV(XMLAttribName(xaWeight), Dbl(W));
    }
  }
}

bool Named(const TqdNodeSample& N, int Id) { return XMLLowerText(N.GetName()) == XMLLowerText(XMLAttribName(Id)); }

// The value of attribute Id of N, or of a child element of that name.
const TqdData* ValueOf(const TqdNode& N, int Id) {
  if (const TqdNodeAttrib* A = N.GetAttributeByName(XMLAttribName(Id))) return &A->FValue;
  if (const TqdNode* C = N.GetChildByName(XMLAttribName(Id))) return &C->Text;
  return nullptr;
}
bool ReadDouble(const TqdNode& N, int Id, double& V) {
  const TqdData* D = ValueOf(N, Id);
  double X;
  if (!D || !D->TryAsDouble(X) || !std::isfinite(X)) return false;
  V = X;
  return true;
}
bool ReadPoint(const TqdNode& N, int Id, TF2DPoint& V) {
  const TqdData* D = ValueOf(N, Id);
  TFPoint P;
  if (!D || !D->TryAsFPoint(P) || !std::isfinite(P.X) || !std::isfinite(P.Y)) return false;
  V = {P.X, P.Y};
  return true;
}
bool ReadBool(const TqdNode& N, int Id, bool& V) {
  const TqdData* D = ValueOf(N, Id);
  return D && D->TryAsBool(V);
}
bool ReadInt(const TqdNode& N, int Id, int& V) {
  const TqdData* D = ValueOf(N, Id);
  return D && D->TryAsInt(V);
}

// Only boundary curve classes make edges.
std::unique_ptr<Tqd2DCurve> EdgeOfName(std::string_view Name) {
  const std::string L = XMLLowerText(Name);
  const std::unique_ptr<Tqd2DCurve> Kinds[] = {std::make_unique<Tqd2DLine>(), std::make_unique<Tqd2DArc>(),
                                               std::make_unique<Tqd2DEllipse>(), std::make_unique<Tqd2DPolyline>(),
                                               std::make_unique<Tqd2DSpline>()};
  for (const auto& K : Kinds)
    if (XMLLowerText(GetXMLName(K->ClassName())) == L) return K->NewInstance();
  return nullptr;
}

void ReadEdge(Tqd2DCurve& C, const TqdNode& N) {
  if (auto* L = dynamic_cast<Tqd2DLine*>(&C)) {
    ReadPoint(N, xaStartPoint, L->FStartPoint);
    ReadPoint(N, xaEndPoint, L->FEndPoint);
  } else if (auto* A = dynamic_cast<Tqd2DArc*>(&C)) {
    ReadPoint(N, xaCenterPoint, A->FCenterPoint);
    ReadDouble(N, xaEndParam, A->FEndParam);
    ReadDouble(N, xaRadius, A->FRadius);
    ReadDouble(N, xaStartParam, A->FStartParam);
    if (auto* E = dynamic_cast<Tqd2DEllipse*>(&C)) ReadPoint(N, xaMajorPoint, E->FMajorPoint);
  } else if (auto* P = dynamic_cast<Tqd2DPolyline*>(&C)) {
    bool B = false;
    if (ReadBool(N, xaClosed, B)) P->SetClosed(B);
    if (const TqdNode* V = N.GetChildByName(XMLAttribName(xaVertexes))) {
      int Count = 0;
      ReadInt(*V, xaCount, Count);
      // Room for the elements present, never for a count the text claims.
      P->FVertexes.reserve(static_cast<std::size_t>(std::clamp(std::min(Count, V->GetChildNodesCount()), 0, cnstMaxXMLItems)));
      for (const auto& X : V->Childs()) {
        if (X->Type != ntElement || !Named(*X, xaVertex) || P->FVertexes.size() >= cnstMaxXMLItems) continue;
        TF2DPoint Q;
        ReadPoint(*X, xaPoint, Q);
        P->AddVertex(Q);
        double Bu = 0;
        if (ReadDouble(*X, xaBulge, Bu) && Bu != 0) P->AddBulge(Bu);
      }
    }
  } else if (auto* S = dynamic_cast<Tqd2DSpline*>(&C)) {
    int D = 3;
    if (ReadInt(N, xaDegree, D)) S->SetDegree(D);
    bool B = false;
    if (ReadBool(N, xaPeriodic, B)) S->SetPeriodic(B);
    if (ReadBool(N, xaRational, B)) S->SetRational(B);
    if (const TqdNode* L = N.GetChildByName(XMLAttribName(xaControlPoints)))
      for (const auto& X : L->Childs()) {
        TFPoint Q;
        if (X->Type == ntElement && S->FControls.size() < cnstMaxXMLItems && X->Text.TryAsFPoint(Q) &&
            IsFiniteFPoint(Q))
          S->AddControl({Q.X, Q.Y});
      }
    if (const TqdNode* L = N.GetChildByName(XMLAttribName(xaKnotsPoints)))
      for (const auto& X : L->Childs()) {
        double K;
        if (X->Type == ntElement && S->FKnots.size() < cnstMaxXMLItems && X->Text.TryAsDouble(K)) S->AddKnot(K);
      }
    if (const TqdNode* L = N.GetChildByName(XMLAttribName(xaWeights)))
      for (const auto& X : L->Childs()) {
        double W;
        if (X->Type == ntElement && S->FWeights.size() < cnstMaxXMLItems && X->Text.TryAsDouble(W)) S->AddWeight(W);
      }
  }
}

}  // namespace

void qdAreaToXML(const TqdDXFEntity& E, TqdNode& ANode, unsigned AModes) {
  const bool All = (AModes & (xmlGetDefaultValue | xmCallHelp)) != 0;
  if (const auto* C = dynamic_cast<const TqdCADCurvePolygon*>(&E)) {
    TqdNode* B = ANode.AddChildNV(XMLAttribName(xaBoundaries));
    for (const auto& L : C->BoundaryData().FBoundaries) {
      if (!L) continue;
      TqdNode* N = B->AddChildNV(XMLAttribName(xaBoundary));
      N->AddAttribId(xaFlags, Int(L->FBoundaryType));
      for (const auto& Edge : L->FObjects)
        if (Edge) WriteEdge(*Edge, *N, All);
    }
  }
  if (const auto* H = dynamic_cast<const TqdCADHatch*>(&E)) {
    const TqdCADHatchPatternData& D = H->PatternData();
    TqdNode* P = ANode.AddChildNV(XMLAttribName(xaPattrens));
    TqdData S;
    S.SetValueAsStr(D.FName);
    P->AddAttribId(xaName, S);
    P->AddAttribId(xaAngle, Dbl(D.FAngle));
    P->AddAttribId(xaScale, Dbl(D.FScale));
    for (const TqdHatchPatternData& L : D.FPatterns) {
      TqdNode* N = P->AddChildNV(XMLAttribName(xaPattren));
      N->AddAttribId(xaLineAngle, Dbl(L.LineAngle));
      TqdData V;
      V.SetValueAsFPoint(L.BaseP);
      N->AddAttribId(xaBasePoint, V);
      V.SetValueAsFPoint(L.Offset);
      N->AddAttribId(xaOffset, V);
      N->AddAttribId(xaIsSolid, Bool(L.IsDash));
      N->AddAttribId(xaCount, Int(L.DashNum));
      if (!L.Lines.empty()) {
        TqdNode* Ls = N->AddChildNV(XMLAttribName(xaLines));
        Ls->AddAttribId(xaCount, Int(static_cast<int>(L.Lines.size())));
        for (double Dash : L.Lines) Ls->AddChildNV(XMLAttribName(xaDash))->AddAttribId(xaValue, Dbl(Dash));
      }
    }
  }
}

bool qdAreaFromXML(TqdDXFEntity& E, const TqdNode& AChild, TqdXMLResult* AResult) {
  if (auto* C = dynamic_cast<TqdCADCurvePolygon*>(&E); C && Named(AChild, xaBoundaries)) {
    TqdCADBoundaryData& BD = C->BoundaryData();
    BD.ClearBoundaries();
    for (const auto& N : AChild.Childs()) {
      if (N->Type != ntElement || !Named(*N, xaBoundary)) continue;
      if (BD.EdgeCount() >= cnstMaxXMLItems) break;
      int Flags = 1;
      ReadInt(*N, xaFlags, Flags);
      Tqd2DBoundaryList* L = BD.Add(static_cast<std::uint8_t>(Flags & 0xFF));
      for (const auto& X : N->Childs()) {
        if (X->Type != ntElement) continue;
        std::unique_ptr<Tqd2DCurve> Edge = EdgeOfName(X->GetName());
        if (!Edge) {
          if (AResult) AResult->Report(*X, "\"" + std::string(X->GetName()) + "\" is not a boundary edge");
          continue;
        }
        ReadEdge(*Edge, *X);
        L->Add(std::move(Edge));
      }
    }
    if (AResult) ++AResult->Applied;
    return true;
  }
  if (auto* H = dynamic_cast<TqdCADHatch*>(&E); H && Named(AChild, xaPattrens)) {
    TqdCADHatchPatternData& D = H->PatternData();
    D.ClearPatterns(false);
    if (const TqdNodeAttrib* A = AChild.GetAttributeByName(XMLAttribName(xaName))) D.FName = A->FValue.GetValueAsText();
    ReadDouble(AChild, xaAngle, D.FAngle);
    ReadDouble(AChild, xaScale, D.FScale);
    for (const auto& N : AChild.Childs()) {
      if (N->Type != ntElement || !Named(*N, xaPattren) || D.FPatterns.size() >= cnstMaxXMLItems) continue;
      TqdHatchPatternData L;
      ReadDouble(*N, xaLineAngle, L.LineAngle);
      TF2DPoint P;
      if (ReadPoint(*N, xaBasePoint, P)) L.BaseP = {P.X, P.Y, 0};
      if (ReadPoint(*N, xaOffset, P)) L.Offset = {P.X, P.Y, 0};
      ReadBool(*N, xaIsSolid, L.IsDash);
      ReadInt(*N, xaCount, L.DashNum);
      if (const TqdNode* Ls = N->GetChildByName(XMLAttribName(xaLines))) {
        int Count = 0;
        ReadInt(*Ls, xaCount, Count);
        L.Lines.reserve(static_cast<std::size_t>(std::clamp(std::min(Count, Ls->GetChildNodesCount()), 0, cnstMaxXMLItems)));
        for (const auto& X : Ls->Childs()) {
          if (X->Type != ntElement || !Named(*X, xaDash) || L.Lines.size() >= cnstMaxXMLItems) continue;
          // The first attribute holds the value.
          double V;
          if (X->GetAttributeNodesCount() > 0 && X->GetAttributeNode(0)->FValue.TryAsDouble(V) && std::isfinite(V))
            L.Lines.push_back(V);
        }
      }
      D.FPatterns.push_back(std::move(L));
    }
    if (AResult) ++AResult->Applied;
    return true;
  }
  return false;
}
