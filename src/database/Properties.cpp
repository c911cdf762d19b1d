#include "Properties.h"

#include <cmath>
#include <mutex>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

#include "DXFConv.h"
#include "Dimensions.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "Texts.h"
#include "MultiLeaders.h"
#include "Underlays.h"
#include "SchemaValues.h"


namespace {

using namespace qdschema;

// ---------------------------------------------------------------- header variables

struct THeaderProp {
  int Id;
  std::function<void(const TqdHeadVarStruct&, TqdData&)> Read;
  std::function<bool(TqdHeadVarStruct&, const TqdData&)> Write;
};

template <class V> THeaderProp HProp(int Id, V TqdHeadVarStruct::*F) {
  return {Id, [F](const TqdHeadVarStruct& H, TqdData& D) { Put(D, H.*F); },
          [F](TqdHeadVarStruct& H, const TqdData& D) {
            V Value{};
            if (!Get(D, Value)) return false;
            H.*F = Value;
            return true;
          }};
}

const std::vector<THeaderProp>& HeaderProps() {
  using H = TqdHeadVarStruct;
  static const std::vector<THeaderProp> P = {
      {xaACADVer, [](const H& X, TqdData& D) { D.SetValueAsVersion({static_cast<int>(X.Version), 0}); }, nullptr},
      {xaCodePage, [](const H& X, TqdData& D) { D.SetValueAsInt(X.CodePage); }, nullptr},
      HProp(xaTextStyle, &H::TextStyle),
      HProp(xaCLayer, &H::CLayer),
      HProp(xaCELType, &H::CELType),
      HProp(xaCEColor, &H::CEColor),
      HProp(xaCELTScale, &H::CELTScale),
      HProp(xaCELWeight, &H::CELWeight),
      HProp(xaDimStyle, &H::DimStyle),
      HProp(xaDIMTXSTY, &H::DimTextStyle),
      HProp(xaEXTMIN, &H::ExtMim),
      HProp(xaExtMax, &H::ExtMax),
      HProp(xaFILLETRAD, &H::FilletRadius),
      HProp(xaInsUnits, &H::InsUnits),
      HProp(xaLTScale, &H::LTScale),
      HProp(xaMeasurement, &H::Measurement),
      HProp(xaPDMODE, &H::PointDisplayMode),
      HProp(xaPDSIZE, &H::PointDisplaySize),
      HProp(xaTextSize, &H::TextSize),
      HProp(xaTileMode, &H::TileMode),
      HProp(xaUCSORG, &H::UCSORG),
      HProp(xaUCSXDir, &H::UCSXDir),
      HProp(xaUCSYDir, &H::UCSYDir),
      HProp(xaInsBase, &H::InsBase),
      {xaAttmode, [](const H& X, TqdData& D) { D.SetValueAsInt(X.AttMode); },
       [](H& X, const TqdData& D) {
         int V = 0;
         if (!D.TryAsInt(V) || V < attOff || V > attAll) return false;
         X.AttMode = static_cast<TqdAttributeMode>(V);
         return true;
       }},
  };
  return P;
}

// ---------------------------------------------------------------- class table

std::unordered_map<std::string, TqdEntityClass>& XMLClassTable() {
  static std::unordered_map<std::string, TqdEntityClass> T;
  return T;
}


template <class... T> void RegisterAll() {
  (XMLClassTable().emplace(XMLLowerText(GetXMLName(T().ClassName())), ClassOf<T>()), ...);
}

}  // namespace

void TqdXMLResult::Report(const TqdNodeSample& ANode, const std::string& AMessage) {
  ++Skipped;
  if (Messages.size() >= cnstMaxMessages) return;
  std::string M;
  if (ANode.HasPosition())
    M = "line " + std::to_string(ANode.Position.Line) + ", column " + std::to_string(ANode.Position.Column) + ": ";
  Messages.push_back(M + AMessage);
}

std::string GetPropertyName(std::string_view N) {
  if (N.substr(0, 6) == "TqdDXF" || N.substr(0, 6) == "TqdCAD") return std::string(N.substr(6));
  if (N.substr(0, 5) == "Tqd2D") return "h" + std::string(N.substr(5));
  if (N.substr(0, 3) == "Tqd") return std::string(N.substr(3));
  return std::string(N);
}

std::string GetXMLName(std::string_view AClassName) { return "vnx" + GetPropertyName(AClassName); }

void RegisterXMLClasses() {
  InstallXMLAttribTable();
  static std::once_flag Once;
  std::call_once(Once, [] {
    RegisterAll<TqdDXFLine, TqdDXFPoint, TqdDXFSolid, TqdDXFTrace, TqdDXF3dFace, TqdDXFCircle, TqdDXFArc,
                TqdDXFEllipse, TqdDXFPolyline, TqdDXFVertex, TqdDXFLWPolyline, TqdDXFSpline, TqdCADHelix, TqdDXFRay,
                TqdDXFXline, TqdDXFLayer, TqdDXFLineType, TqdDXFStyle, TqdDXFAppID, TqdDXFDimensionStyle,
                TqdDXFVport, TqdDXFBlockRecord, TqdDXFBlock, TqdDXFTable, TqdDXFSection, TqdDXFSectionTables,
                TqdDXFSectionBlocks, TqdDXFSectionObjects, TqdDXFSectionHeader, TqdDXFSectionEntities,
                TqdDXFDictionary, TqdDXFGroup, TqdDXFGroupEntity, TqdDXFBlockRecords, TqdDXFLayout,
                TqdDXFPlotSettings, TqdDXFXRecord, TqdDXFImageDef, TqdMLineStyle, TqdMLineEntry,
                TqdDXFAcadTableStyle, TqdDXFSortEntsTable, TqdCADRasterVariables, TqdCADWipeoutVariables,
                TqdDXFInsert, TqdCADMInsert, TqdCADClipInsert, TqdDXFAttdef, TqdDXFAttrib, TqdCADMLine, TqdMVertex,
                TqdDXFViewport, TqdCADSpatialFilter, TqdDXFText, TqdDXFMText, TqdDXFShape, TqdDXFDimension,
                TqdDXFLeader, TqdDXFTolerance, TqdCADPolyPolygon, TqdCADCurvePolygon, TqdCADHatch, TqdCADMPolygon,
                TqdCADWipeout, TqdDXFImageEnt, TqdDXFOle2Frame, TqdDXFAcadTable, TqdDXFProxy, TqdDXFRegion,
                TqdDXF3dSolid, TqdDXFBody, TqdDXFDictionaryVar, TqdDXFXref, TqdCADGradientPolygon, TqdCADFill,
                TqdCADUnderlay, TqdCADUnderlayDefinition, TqdDXFMultiLeader, TqdDXFMLeaderStyle>();
  });
}

void RegisterXMLClass(TqdEntityClass AClass) {
  RegisterXMLClasses();
  if (AClass) XMLClassTable().emplace(XMLLowerText(GetXMLName(AClass()->ClassName())), AClass);
}

TqdEntityClass XMLClassByName(std::string_view AXMLName) {
  RegisterXMLClasses();
  auto It = XMLClassTable().find(XMLLowerText(AXMLName));
  return It == XMLClassTable().end() ? nullptr : It->second;
}

const TqdClassProperties& ClassProperties(const TqdDXFEntity& E) {
  // Keyed by views of the names the entries hold.
  static std::unordered_map<std::string_view, std::unique_ptr<TqdClassProperties>> Cache;
  // Walks meet runs of one class: the last answer is checked first.
  static const char* LastName = nullptr;
  static const TqdClassProperties* Last = nullptr;
  const char* Name = E.ClassName();
  if (Name == LastName) return *Last;
  auto It = Cache.find(std::string_view(Name));
  if (It != Cache.end()) {
    LastName = Name;
    Last = It->second.get();
    return *Last;
  }
  InstallXMLAttribTable();
  auto CP = std::make_unique<TqdClassProperties>();
  CP->ClassName = Name;
  CP->XMLName = GetXMLName(Name);
  for (const TqdClassDescription& D : SchemaDescriptions()) {
    if (!D.Applies(E)) continue;
    for (const TqdPropertyDesc& P : D.Properties) {
      short& Slot = CP->ById[static_cast<std::size_t>(P.Id)];
      if (Slot) {
        CP->Properties[static_cast<std::size_t>(Slot - 1)] = &P;  // redescribed in place
      } else {
        CP->Properties.push_back(&P);
        Slot = static_cast<short>(CP->Properties.size());
      }
    }
    if (D.Accepts) CP->Accepts = D.Accepts;
    if (D.WritesChildren >= 0) CP->WritesChildren = D.WritesChildren == 1;
  }
  CP->Prototype = E.NewInstance();
  const std::string_view Key = CP->ClassName;
  LastName = Name;
  Last = CP.get();
  return *Cache.emplace(Key, std::move(CP)).first->second;
}

bool XMLWritesChildren(const TqdDXFEntity& E) { return ClassProperties(E).WritesChildren && E.Count() > 0; }

// ---------------------------------------------------------------- ToXML

namespace {

bool IsDefaultValue(const TqdClassProperties& CP, const TqdPropertyDesc& P, const TqdDXFEntity& E,
                    const TqdData& Value) {
  if (P.Always) return false;
  if (P.IsDefault) return P.IsDefault(E);
  if (!CP.Prototype) return false;
  TqdData D;
  P.Read(*CP.Prototype, D);
  return D.GetValueAsText() == Value.GetValueAsText();
}

// The attributes E writes under Modes, in order: the one rule for nodes and streams.
template <class F> void ForEachWritten(const TqdClassProperties& CP, const TqdDXFEntity& E, TqdXMLMode Modes, F&& Fn) {
  if (Modes & xmOnlyChildNodes) return;
  const bool All = (Modes & (xmlGetDefaultValue | xmCallHelp)) != 0;
  TqdData D;
  for (const TqdPropertyDesc* P : CP.Properties) {
    P->Read(E, D);
    if (!All && IsDefaultValue(CP, *P, E, D)) continue;
    if ((Modes & xmCallHelp) && P->EmptyInHelp) D.SetValueAsStr("");
    Fn(P->Id, D);
  }
}

// The element of E with its attributes, without children.
TqdNode* AddOwnElement(const TqdDXFEntity& E, TqdNode& AParent, TqdXMLMode Modes) {
  const TqdClassProperties& CP = ClassProperties(E);
  auto N = std::make_unique<TqdNode>(CP.XMLName);
  N->Entity = const_cast<TqdDXFEntity*>(&E);
  ForEachWritten(CP, E, Modes, [&](int Id, const TqdData& D) { N->AddAttribId(Id, D); });
  if (!(Modes & xmCallHelp)) qdOwnElementsToXML(E, *N, Modes);
  return AParent.AddChild(std::move(N));
}

// The start tag AddOwnElement's node would write, straight into Out.
void AppendOwnStartTag(std::string& Out, const TqdDXFEntity& E, TqdXMLMode Modes, bool AClose) {
  const TqdClassProperties& CP = ClassProperties(E);
  Out += '<';
  Out += CP.XMLName;
  ForEachWritten(CP, E, Modes, [&](int Id, const TqdData& D) {
    Out += ' ';
    Out += XMLAttribName(Id);
    Out += "=\"";
    D.AppendValueAsText(Out, true);
    Out += '"';
  });
  Out += AClose ? "/>" : ">";
}

struct TWriteFrame {
  const TqdDXFEntity* E;
  TqdNode* List;  // where its children go
  int Next;
};

// Iterative: the stack holds the open containers; nesting is capped, and a container
// met twice on one walk (shared through a link) lists its children once, so that no
// sharing multiplies the output.
TqdNode* WriteTree(const TqdDXFEntity& ARoot, TqdNode& AParent, TqdXMLMode Modes) {
  TqdNode* Top = AddOwnElement(ARoot, AParent, Modes);
  if (!Top || !(Modes & xmAddSubEntities)) return Top;
  std::unordered_set<const TqdDXFEntity*> Seen;
  std::vector<TWriteFrame> Stack;
  auto Open = [&](const TqdDXFEntity& E, TqdNode* Node) {
    if (!XMLWritesChildren(E) || static_cast<int>(Stack.size()) >= cnstXMLMaxDepth) return;
    if (!Seen.insert(&E).second) return;
    TqdNode* List = (Modes & xmNoSubEntitiesNode) ? Node : Node->AddChildNV(XMLAttribName(xaSubEntities));
    Stack.push_back({&E, List, 0});
  };
  Open(ARoot, Top);
  while (!Stack.empty()) {
    TWriteFrame& F = Stack.back();
    if (F.Next >= F.E->Count()) {
      Stack.pop_back();
      continue;
    }
    const TqdDXFEntity* C = F.E->GetEntity(F.Next++);
    if (!C) continue;
    TqdNode* N = AddOwnElement(*C, *F.List, Modes);
    Open(*C, N);
  }
  return Top;
}

}  // namespace

TqdNode* TqdListObject::ToXML(TqdNode&, unsigned) const { return nullptr; }
int TqdListObject::FromXML(const TqdNode&, TqdXMLResult*) { return xsDone; }

TqdNode* TqdDXFEntity::ToXML(TqdNode& AParent, unsigned AModes) const { return WriteTree(*this, AParent, AModes); }

namespace {

TqdNode* AddHeaderElement(const TqdHeadVarStruct& H, TqdNode& AParent, TqdXMLMode Modes) {
  auto N = std::make_unique<TqdNode>(GetXMLName("TqdDXFSectionHeader"));
  if (!(Modes & xmOnlyChildNodes)) {
    TqdData D;
    D.SetValueAsStr("HEADER");
    N->AddAttribId(xaName, D);
    const bool All = (Modes & (xmlGetDefaultValue | xmCallHelp)) != 0;
    TqdData Def;
    for (const THeaderProp& P : HeaderProps()) {
      P.Read(H, D);
      if (!All) {
        P.Read(cnstDefaultHeadVarStruct, Def);
        if (Def.GetValueAsText() == D.GetValueAsText()) continue;
      }
      N->AddAttribId(P.Id, D);
    }
  }
  return AParent.AddChild(std::move(N));
}

}  // namespace

TqdNode* TqdDXFConverter::ToXML(TqdNode& AParent, unsigned AModes) const {
  TqdNode* N = AParent.AddChildNV(GetXMLName("TqdDXFConverter"));
  N->Entity = const_cast<TqdDXFConverter*>(this);
  AddHeaderElement(FHeadVarStruct, *N, AModes);
  if ((AModes & xmAddSectionEntities) && Main()) {
    const TqdDXFSection& M = *Main();
    for (int I = 0; I < M.Count(); ++I)
      if (const TqdDXFEntity* S = M.GetEntity(I)) S->ToXML(*N, AModes | xmAddSubEntities);
  }
  return N;
}

// ---------------------------------------------------------------- FromXML

namespace {

int ApplyNode(TqdDXFEntity& E, const TqdNode& Node, TqdXMLContext& Ctx);

// One attribute (or attribute-like child element) of E.
void ApplyValue(TqdDXFEntity& E, const TqdClassProperties& CP, const TqdNodeSample& N, int Id, const TqdData& V,
                TqdXMLContext& Ctx) {
  TqdXMLResult* R = Ctx.Result;
  const std::string Name(N.GetName());
  if (Id == 0) {
    if (R) R->Report(N, "unknown attribute \"" + Name + "\"");
    return;
  }
  if (Id == xaHandle) {
    // Handles key the converter's maps: a written handle could duplicate another.
    TqdData Cur;
    Cur.SetValueAsHandle(E.Handle());
    if (R && Cur.GetValueAsText() != V.GetValueAsText()) R->Report(N, "\"Handle\" is read-only");
    return;
  }
  const TqdPropertyDesc* P = CP.Find(Id);
  if (!P) {
    if (R) R->Report(N, "\"" + Name + "\" is not an attribute of " + CP.XMLName);
    return;
  }
  if (!P->Write) {
    // An unchanged read-only value is no fault (a node written by ToXML carries them).
    TqdData Cur;
    P->Read(E, Cur);
    if (Cur.GetValueAsText() != V.GetValueAsText() && R) R->Report(N, "\"" + Name + "\" is read-only");
    return;
  }
  // A value equal to the current one is left alone: derived attributes written next to
  // the ones they derive from do not move them by rounding.
  TqdData Cur;
  P->Read(E, Cur);
  if (Cur.GetValueAsText() == V.GetValueAsText()) return;
  bool Ok = false;
  try {
    Ok = P->Write(E, V, Ctx);
  } catch (const EqdError& X) {
    if (R) R->Report(N, "\"" + Name + "\": " + X.what());
    return;
  }
  if (!Ok) {
    if (R) R->Report(N, "\"" + Name + "\": value \"" + V.GetValueAsText() + "\" refused");
    return;
  }
  if (R) ++R->Applied;
}

// The "Name" an element carries (empty when none).
std::string NodeName(const TqdNode& N) {
  const TqdNodeAttrib* A = N.GetAttributeByName(XMLAttribName(xaName));
  return A ? A->FValue.GetValueAsText() : std::string();
}

// The sub-entities in List: child i updates E's child i when it has the same class (and,
// in a named container, the same name); else the child of that class and name, when
// there is one; otherwise a new item of the element's class is made, if E can own it.
void ApplySubEntities(TqdDXFEntity& E, const TqdClassProperties& CP, const TqdNode& List, bool AIncludeOthers,
                      TqdXMLContext& Ctx) {
  TqdXMLResult* R = Ctx.Result;
  TqdDXFConverter* Conv = Ctx.Converter ? Ctx.Converter : E.Converter();
  // Tables, sections and dictionaries find their children by name.
  const bool NamedKids = Is<TqdDXFTable>(E);
  int Index = 0;
  if (auto* PL = dynamic_cast<TqdDXFPolyline*>(&E)) {
    // Room for the elements actually present, never for a count the text claims.
    PL->ReserveVertices(std::min(List.GetChildNodesCount(), 1 << 20));
  }
  auto Apply = [&](TqdDXFEntity& X, const TqdNode& N) {
    ++Ctx.Depth;
    ApplyNode(X, N, Ctx);
    --Ctx.Depth;
  };
  for (const auto& CN : List.Childs()) {
    if (Ctx.Stopped) return;
    if (CN->Type != ntElement) continue;
    if (!AIncludeOthers && XMLAttribIdByName(CN->GetName()) != cnstXMLClassNameId) continue;
    const TqdEntityClass Class = XMLClassByName(CN->GetName());
    if (!Class) {
      if (R) R->Report(*CN, "unknown class \"" + std::string(CN->GetName()) + "\"");
      continue;
    }
    const std::string Name = NamedKids ? NodeName(*CN) : std::string();
    auto SameKind = [&](const TqdDXFEntity* X) {
      return X && CP.WritesChildren && XMLClassByName(ClassProperties(*X).XMLName) == Class &&
             (!NamedKids || Name.empty() || SameNameText(X->Name(), Name));
    };
    TqdDXFEntity* Existing = Index < E.Count() ? E.GetEntity(Index) : nullptr;
    if (SameKind(Existing)) {
      ++Index;
      Apply(*Existing, *CN);
      continue;
    }
    if (NamedKids && !Name.empty()) {
      const int I = E.IndexOfName(Name);
      if (TqdDXFEntity* Found = I >= 0 ? E.GetEntity(I) : nullptr; SameKind(Found)) {
        Apply(*Found, *CN);
        continue;
      }
    }
    std::unique_ptr<TqdDXFEntity> New = Class();
    if (!CP.Accepts || !CP.Accepts(E, *New)) {
      if (R) R->Report(*CN, CP.XMLName + " cannot own " + std::string(CN->GetName()));
      continue;
    }
    if (NamedKids) {
      // A named item is made by the drawing under a valid name, as a reader makes it.
      const bool Valid = Is<TqdDXFLayer>(*New) ? IsValidLayerName(Name) : IsValidTableName(Name);
      if (!Conv || !Valid) {
        if (R) R->Report(*CN, std::string(CN->GetName()) + " needs a valid \"Name\"");
        continue;
      }
      TqdDXFEntity* Made = Conv->NewNamedEntity(&E, Class, Name);
      if (!Made) {
        if (R) R->Report(*CN, CP.XMLName + " refused " + std::string(CN->GetName()));
        continue;
      }
      Apply(*Made, *CN);
      Conv->CheckEntityHandle(Made);
      if (Ctx.Created) Ctx.Created->push_back(Made);
      Index = E.Count();
      continue;
    }
    // Owned first, so that what the item keeps in the drawing (extended data) goes with
    // it should it be freed.
    TqdDXFEntity* Raw = New.get();
    if (E.AddEntity(std::move(New)) < 0) {
      if (R) R->Report(*CN, CP.XMLName + " refused " + std::string(CN->GetName()));
      continue;
    }
    Index = E.Count();
    Apply(*Raw, *CN);
    if (Conv) Conv->CheckEntityHandle(Raw);
    if (Ctx.Created) Ctx.Created->push_back(Raw);
  }
}

int ApplyNode(TqdDXFEntity& E, const TqdNode& Node, TqdXMLContext& Ctx) {
  TqdXMLResult* R = Ctx.Result;
  if (Ctx.Depth >= cnstXMLMaxDepth) {
    if (R) R->Report(Node, "elements nested too deep");
    return xsStopped;
  }
  const TqdClassProperties& CP = ClassProperties(E);
  const TqdEntityClass NodeClass = XMLClassByName(Node.GetName());
  if (NodeClass && XMLLowerText(Node.GetName()) != XMLLowerText(CP.XMLName)) {
    if (R) R->Report(Node, std::string(Node.GetName()) + " does not describe a " + CP.XMLName);
    return xsWrongClass;
  }
  for (const auto& A : Node.Attributes()) {
    if (Ctx.Stopped || (R && R->Stop && R->Stop(*A))) return Ctx.Stopped = true, xsStopped;
    ApplyValue(E, CP, *A, XMLAttribIdByName(A->GetName()), A->FValue, Ctx);
  }
  for (const auto& C : Node.Childs()) {
    if (Ctx.Stopped || (R && R->Stop && R->Stop(*C))) return Ctx.Stopped = true, xsStopped;
    if (C->Type != ntElement) continue;
    if (qdOwnElementsFromXML(E, *C, R)) continue;
    const int Id = XMLAttribIdByName(C->GetName());
    if (Id == xaSubEntities) {
      ApplySubEntities(E, CP, *C, true, Ctx);
    } else if (Id == cnstXMLClassNameId) {
      // Sub-entities written without their list element; gathered below in order.
    } else {
      ApplyValue(E, CP, *C, Id, C->Text, Ctx);
    }
  }
  bool Direct = false;
  for (const auto& C : Node.Childs())
    Direct = Direct || (C->Type == ntElement && XMLAttribIdByName(C->GetName()) == cnstXMLClassNameId);
  if (Direct && !Ctx.Stopped) ApplySubEntities(E, CP, Node, false, Ctx);
  return Ctx.Stopped ? xsStopped : xsDone;
}

}  // namespace

int TqdDXFEntity::FromXML(const TqdNode& ANode, TqdXMLResult* AResult) {
  TqdXMLContext Ctx;
  Ctx.Result = AResult;
  Ctx.Converter = Converter();
  return ApplyNode(*this, ANode, Ctx);
}

namespace {

void ApplyHeader(TqdHeadVarStruct& Head, const TqdNode& H, TqdXMLResult* AResult) {
  for (const auto& A : H.Attributes()) {
    const int Id = XMLAttribIdByName(A->GetName());
    if (Id == xaName) continue;
    const THeaderProp* P = nullptr;
    for (const THeaderProp& Q : HeaderProps())
      if (Q.Id == Id) P = &Q;
    if (!P) {
      if (AResult) AResult->Report(*A, "\"" + std::string(A->GetName()) + "\" is not a writable header variable");
      continue;
    }
    // An unchanged value is no change (a node written by ToXML carries the read-only ones).
    TqdData Cur;
    P->Read(Head, Cur);
    if (Cur.GetValueAsText() == A->FValue.GetValueAsText()) continue;
    if (!P->Write) {
      if (AResult) AResult->Report(*A, "\"" + std::string(A->GetName()) + "\" is not a writable header variable");
      continue;
    }
    TqdHeadVarStruct Copy = Head;
    if (!P->Write(Copy, A->FValue)) {
      if (AResult) AResult->Report(*A, "\"" + std::string(A->GetName()) + "\": value refused");
      continue;
    }
    Head = std::move(Copy);
    if (AResult) ++AResult->Applied;
  }
}

}  // namespace

int TqdDXFConverter::FromXML(const TqdNode& ANode, TqdXMLResult* AResult) {
  // The header variables, then each section element applied to the drawing's section of
  // that class and name: its tables, blocks and objects are updated by name, and new
  // items are made only where their container can own them.
  const std::string HeaderName = XMLLowerText(GetXMLName("TqdDXFSectionHeader"));
  TqdXMLContext Ctx;
  Ctx.Result = AResult;
  Ctx.Converter = this;
  std::vector<TqdDXFEntity*> Created;
  Ctx.Created = &Created;
  int Status = xsDone;
  for (const auto& C : ANode.Childs()) {
    if (C->Type != ntElement) continue;
    if (Ctx.Stopped || (AResult && AResult->Stop && AResult->Stop(*C))) {
      Status = xsStopped;
      break;
    }
    if (XMLLowerText(C->GetName()) == HeaderName) {
      ApplyHeader(FHeadVarStruct, *C, AResult);
      continue;
    }
    const TqdEntityClass Class = XMLClassByName(C->GetName());
    std::unique_ptr<TqdDXFEntity> Probe = Class ? Class() : nullptr;
    if (!Probe || !dynamic_cast<TqdDXFSection*>(Probe.get())) {
      if (AResult) AResult->Report(*C, "\"" + std::string(C->GetName()) + "\" is not a section");
      continue;
    }
    const std::string Name = NodeName(*C);
    TqdDXFEntity* Target = nullptr;
    for (int I = 0; Main() && I < Main()->Count() && !Target; ++I) {
      TqdDXFEntity* S = Main()->GetEntity(I);
      if (S && typeid(*S) == typeid(*Probe) && (Name.empty() || SameNameText(S->Name(), Name))) Target = S;
    }
    if (!Target) {
      if (AResult) AResult->Report(*C, "Error section!");
      Status = xsWrongClass;
      continue;
    }
    if (ApplyNode(*Target, *C, Ctx) == xsStopped) Status = xsStopped;
  }
  // Items made from the text get their derived data like items a reader makes.
  for (TqdDXFEntity* E : Created) Loads(E);
  return Status;
}

// ---------------------------------------------------------------- inspector and help

std::vector<TqdXMLPropertyInfo> XMLProperties(const TqdDXFEntity& E) {
  std::vector<TqdXMLPropertyInfo> R;
  const TqdClassProperties& CP = ClassProperties(E);
  TqdData D;
  for (const TqdPropertyDesc* P : CP.Properties) {
    P->Read(E, D);
    const TqdXMLAttribInfo& I = XMLAttribInfo(P->Id);
    R.push_back({P->Id, I.Name, D.GetValueAsText(), DataTypeName(I.Type), I.Description,
                 !P->Write || P->Id == xaHandle});
  }
  return R;
}

std::string XMLDescription(const TqdDXFEntity& E) {
  std::string S = ClassProperties(E).XMLName + "\n";
  for (const TqdXMLPropertyInfo& P : XMLProperties(E))
    S += "  " + P.Name + " (" + P.TypeName + (P.ReadOnly ? ", read-only" : "") + "): " + P.Description + "\n";
  return S;
}

// ---------------------------------------------------------------- streaming

namespace {

void Indent(std::string& Out, int Level) {
  Out += '\n';
  Out.append(static_cast<std::size_t>(Level) * 2, ' ');
}

}  // namespace

void StreamXML(std::string& Out, const TqdDXFEntity& ARoot, TqdXMLMode Modes, int ALevel) {
  // The same tree WriteTree builds, written as it is walked.
  struct TFrame {
    const TqdDXFEntity* E;
    int Next;
    bool ListNode;
  };
  std::unordered_set<const TqdDXFEntity*> Seen;
  std::vector<TFrame> Stack;
  auto Write = [&](const TqdDXFEntity& E, int Level) {
    Indent(Out, Level);
    const bool Children = (Modes & xmAddSubEntities) && XMLWritesChildren(E) &&
                          static_cast<int>(Stack.size()) < cnstXMLMaxDepth && Seen.insert(&E).second;
    // Loops, pattern lines, spline lists and extended data are elements of their own.
    TqdNode Extra;
    if (!(Modes & xmCallHelp)) qdOwnElementsToXML(E, Extra, Modes);
    AppendOwnStartTag(Out, E, Modes, !Children && !Extra.HasChildNodes());
    for (const auto& X : Extra.Childs()) {
      Indent(Out, Level + 1);
      WriteXMLNode(Out, *X, true, Level + 1);
    }
    if (!Children) {
      if (Extra.HasChildNodes()) {
        Indent(Out, Level);
        Out += "</" + ClassProperties(E).XMLName + ">";
      }
      return;
    }
    const bool List = !(Modes & xmNoSubEntitiesNode);
    if (List) {
      Indent(Out, Level + 1);
      Out += "<SubEntities>";
    }
    Stack.push_back({&E, 0, List});
  };
  Write(ARoot, ALevel);
  while (!Stack.empty()) {
    TFrame& F = Stack.back();
    const int Level = ALevel + static_cast<int>(Stack.size()) * 2 - 1;
    if (F.Next >= F.E->Count()) {
      const TFrame Done = F;
      Stack.pop_back();
      if (Done.ListNode) {
        Indent(Out, Level);
        Out += "</SubEntities>";
      }
      Indent(Out, Level - 1);
      Out += "</" + ClassProperties(*Done.E).XMLName + ">";
      continue;
    }
    const TqdDXFEntity* C = F.E->GetEntity(F.Next++);
    if (!C) continue;
    Write(*C, Level + 1);
  }
}

void StreamXML(std::string& Out, const TqdDXFConverter& C, TqdXMLMode Modes, int ALevel) {
  const std::string Name = GetXMLName("TqdDXFConverter");
  Indent(Out, ALevel);
  Out += "<" + Name + ">";
  TqdNode Scratch;
  const TqdNode* H = AddHeaderElement(C.HeadVarStruct(), Scratch, Modes);
  Indent(Out, ALevel + 1);
  WriteXMLStartTag(Out, *H, true);
  if ((Modes & xmAddSectionEntities) && C.Main()) {
    const TqdDXFSection& M = *C.Main();
    for (int I = 0; I < M.Count(); ++I)
      if (const TqdDXFEntity* S = M.GetEntity(I)) StreamXML(Out, *S, Modes | xmAddSubEntities, ALevel + 1);
  }
  Indent(Out, ALevel);
  Out += "</" + Name + ">";
}
