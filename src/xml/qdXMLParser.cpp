#include "qdXMLParser.h"

#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <tuple>

#include "qdCodePages.h"

namespace {



}  // namespace

// ---------------------------------------------------------------- TqdNodeSample

std::string_view TqdNodeSample::GetName() const {
  if (FNameIndex > 0) {
    const char* N = XMLAttribName(FNameIndex);
    return N ? std::string_view(N) : std::string_view();
  }
  return FName;
}

void TqdNodeSample::SetName(std::string_view AName) {
  // A name spelled exactly as in the attribute table is stored as its id.
  const int Id = XMLAttribIdByName(AName);
  const char* TableName = XMLAttribName(Id);
  if (TableName && AName == TableName) {
    FNameIndex = Id;
    FName.clear();
  } else {
    FNameIndex = 0;
    FName.assign(AName);
  }
  if (FOwner) {
    // The owner's quick-find indexes are rebuilt on their next use.
    FOwner->Attributes().FIndexValid = false;
    FOwner->Childs().FIndexValid = false;
  }
}

void TqdNodeSample::SetNameIndex(int AId) {
  if (XMLAttribName(AId)) {
    FNameIndex = AId;
    FName.clear();
  }
}

std::string TqdNodeSample::GetFullName() const {
  std::string S = FPrefix;
  if (!S.empty()) S += ':';
  S += GetName();
  return S;
}

void TqdNodeSample::SetFullName(std::string_view AName) {
  const std::size_t Colon = AName.find(':');
  if (Colon == std::string_view::npos) {
    FPrefix.clear();
    SetName(AName);
  } else {
    FPrefix.assign(AName.substr(0, Colon));
    SetName(AName.substr(Colon + 1));
  }
}

int TqdNodeSample::Compare(const TqdNodeSample& Other) const {
  const std::string A = XMLLowerText(GetFullName()), B = XMLLowerText(Other.GetFullName());
  if (A != B) return A < B ? -1 : 1;
  const TqdData* X = ValueData();
  const TqdData* Y = Other.ValueData();
  if (!X || !Y) return (X != nullptr) - (Y != nullptr);
  return X->Compare(*Y);
}

// ---------------------------------------------------------------- TqdNodeList

template <class T> T* TqdNodeList<T>::FindByName(std::string_view AName) const {
  if (!QuickFind) {
    for (const auto& N : FItems)
      if (CaseSensitive ? N->GetName() == AName : XMLEqualNoCase(N->GetName(), AName)) return N.get();
    return nullptr;
  }
  if (!FIndexValid) {
    FIndex.clear();
    for (const auto& N : FItems) {
      std::string K(N->GetName());
      if (!CaseSensitive) K = XMLLowerText(K);
      FIndex.emplace(std::move(K), N.get());  // the first of equal names stays
    }
    FIndexValid = true;
  }
  auto It = FIndex.find(CaseSensitive ? std::string(AName) : XMLLowerText(AName));
  return It == FIndex.end() ? nullptr : It->second;
}

template class TqdNodeList<TqdNode>;
template class TqdNodeList<TqdNodeAttrib>;

// ---------------------------------------------------------------- TqdNode

TqdNode::~TqdNode() {
  // Children are taken apart level by level, so that no depth of tree recurses.
  std::vector<std::unique_ptr<TqdNode>> Pending;
  for (auto& C : FChilds.FItems) Pending.push_back(std::move(C));
  FChilds.FItems.clear();
  while (!Pending.empty()) {
    std::unique_ptr<TqdNode> N = std::move(Pending.back());
    Pending.pop_back();
    for (auto& C : N->FChilds.FItems) Pending.push_back(std::move(C));
    N->FChilds.FItems.clear();
  }
}

TqdNodeAttrib* TqdNode::AddAttrib(std::unique_ptr<TqdNodeAttrib>&& A) {
  if (!A || A->FOwner) return nullptr;
  A->FOwner = this;
  FAttributes.FItems.push_back(std::move(A));
  FAttributes.FIndexValid = false;
  return FAttributes.FItems.back().get();
}

TqdNodeAttrib* TqdNode::AddAttribNV(std::string_view AName, const TqdData& AValue) {
  auto A = std::make_unique<TqdNodeAttrib>();
  A->SetFullName(AName);
  A->FValue.Assign(AValue);
  return AddAttrib(std::move(A));
}

TqdNodeAttrib* TqdNode::AddAttribId(int AId, const TqdData& AValue) {
  auto A = std::make_unique<TqdNodeAttrib>();
  A->SetNameIndex(AId);
  A->FValue.Assign(AValue);
  return AddAttrib(std::move(A));
}

TqdNode* TqdNode::AddChild(std::unique_ptr<TqdNode>&& ANode) {
  if (!ANode || ANode->FOwner || ANode.get() == this) return nullptr;
  // A node that owns this one would make a cycle (a node without children cannot).
  if (ANode->HasChildNodes())
    for (const TqdNode* O = FOwner; O; O = O->FOwner)
    if (O == ANode.get()) return nullptr;
  ANode->FOwner = this;
  FChilds.FItems.push_back(std::move(ANode));
  FChilds.FIndexValid = false;
  return FChilds.FItems.back().get();
}

TqdNode* TqdNode::AddChildNV(std::string_view AName, const TqdData& AValue) {
  auto N = std::make_unique<TqdNode>();
  N->SetFullName(AName);
  N->Text.Assign(AValue);
  return AddChild(std::move(N));
}

std::unique_ptr<TqdNodeAttrib> TqdNode::RemoveAttrib(int Index) {
  if (Index < 0 || Index >= FAttributes.Count()) return nullptr;
  auto It = FAttributes.FItems.begin() + Index;
  std::unique_ptr<TqdNodeAttrib> A = std::move(*It);
  FAttributes.FItems.erase(It);
  FAttributes.FIndexValid = false;
  A->FOwner = nullptr;
  return A;
}

std::unique_ptr<TqdNode> TqdNode::RemoveChild(int Index) {
  if (Index < 0 || Index >= FChilds.Count()) return nullptr;
  auto It = FChilds.FItems.begin() + Index;
  std::unique_ptr<TqdNode> N = std::move(*It);
  FChilds.FItems.erase(It);
  FChilds.FIndexValid = false;
  N->FOwner = nullptr;
  return N;
}

bool TqdNode::RemoveAttributeByName(std::string_view AName) {
  for (int I = 0; I < FAttributes.Count(); ++I)
    if (XMLEqualNoCase(FAttributes[I]->GetName(), AName)) {
      RemoveAttrib(I);
      return true;
    }
  return false;
}

TqdNode* TqdNode::GetNodeByAttribValue(std::string_view AName, std::string_view AValue) const {
  for (const auto& C : FChilds)
    if (const TqdNodeAttrib* A = C->GetAttributeByName(AName); A && A->GetText() == AValue) return C.get();
  return nullptr;
}

void TqdNode::Clear() {
  FAttributes.FItems.clear();
  FAttributes.FIndexValid = false;
  std::vector<std::unique_ptr<TqdNode>> Old = std::move(FChilds.FItems);
  FChilds.FItems.clear();
  FChilds.FIndexValid = false;
  for (auto& C : Old) C->FOwner = nullptr;
  Old.clear();  // each child frees its own subtree without recursion
  Text.Clear();
}

namespace {

void CopyOwn(TqdNode& Dst, const TqdNode& Src) {
  Dst.Type = Src.Type;
  Dst.Flags = Src.Flags;
  Dst.Position = Src.Position;
  Dst.Entity = Src.Entity;
  Dst.UserData = Src.UserData;
  Dst.SetPrefix(Src.GetPrefix());
  if (Src.NameIndex() > 0)
    Dst.SetNameIndex(Src.NameIndex());
  else
    Dst.SetName(Src.GetName());
  Dst.Text.Assign(Src.Text);
  Dst.FValue.Assign(Src.FValue);
  for (const auto& A : Src.Attributes()) {
    auto N = std::make_unique<TqdNodeAttrib>();
    N->SetPrefix(A->GetPrefix());
    if (A->NameIndex() > 0)
      N->SetNameIndex(A->NameIndex());
    else
      N->SetName(A->GetName());
    N->FValue.Assign(A->FValue);
    N->Position = A->Position;
    Dst.AddAttrib(std::move(N));
  }
}

}  // namespace

bool TqdNode::Assign(const TqdNode& Source) {
  if (&Source == this) return true;
  Clear();
  CopyOwn(*this, Source);
  bool Complete = true;
  // (source, copy, depth)
  std::vector<std::tuple<const TqdNode*, TqdNode*, int>> Stack{{&Source, this, 0}};
  while (!Stack.empty()) {
    auto [S, D, Depth] = Stack.back();
    Stack.pop_back();
    if (S->GetChildNodesCount() > 0 && Depth >= cnstXMLMaxDepth) {
      Complete = false;
      continue;
    }
    for (const auto& C : S->Childs()) {
      auto N = std::make_unique<TqdNode>(C->Type);
      CopyOwn(*N, *C);
      TqdNode* Added = D->AddChild(std::move(N));
      Stack.emplace_back(C.get(), Added, Depth + 1);
    }
  }
  return Complete;
}

int TqdNode::Compare(const TqdNodeSample& Other) const {
  if (const int C = TqdNodeSample::Compare(Other)) return C;
  const auto* O = dynamic_cast<const TqdNode*>(&Other);
  if (!O) return 1;
  if (GetAttributeNodesCount() != O->GetAttributeNodesCount())
    return GetAttributeNodesCount() < O->GetAttributeNodesCount() ? -1 : 1;
  for (int I = 0; I < GetAttributeNodesCount(); ++I)
    if (const int C = GetAttributeNode(I)->Compare(*O->GetAttributeNode(I))) return C;
  if (GetChildNodesCount() != O->GetChildNodesCount())
    return GetChildNodesCount() < O->GetChildNodesCount() ? -1 : 1;
  // Children compare level by level without recursion.
  std::vector<std::tuple<const TqdNode*, const TqdNode*, int>> Stack;
  for (int I = GetChildNodesCount() - 1; I >= 0; --I) Stack.emplace_back(GetChildNode(I), O->GetChildNode(I), 1);
  while (!Stack.empty()) {
    auto [A, B, Depth] = Stack.back();
    Stack.pop_back();
    if (const int C = A->TqdNodeSample::Compare(*B)) return C;
    if (A->GetAttributeNodesCount() != B->GetAttributeNodesCount())
      return A->GetAttributeNodesCount() < B->GetAttributeNodesCount() ? -1 : 1;
    for (int I = 0; I < A->GetAttributeNodesCount(); ++I)
      if (const int C = A->GetAttributeNode(I)->Compare(*B->GetAttributeNode(I))) return C;
    if (A->GetChildNodesCount() != B->GetChildNodesCount())
      return A->GetChildNodesCount() < B->GetChildNodesCount() ? -1 : 1;
    for (int I = A->GetChildNodesCount() - 1; I >= 0; --I)
      Stack.emplace_back(A->GetChildNode(I), B->GetChildNode(I), Depth + 1);
  }
  return 0;
}

// ---------------------------------------------------------------- search

TqdNodeIterator::TqdNodeIterator(const TqdNode& ARoot, bool AIncludeRoot) {
  if (AIncludeRoot)
    FFirst = &ARoot;
  else
    FStack.emplace_back(&ARoot, 0);
}

TqdNode* TqdNodeIterator::Next() {
  if (FFirst) {
    const TqdNode* N = FFirst;
    FFirst = nullptr;
    FStack.emplace_back(N, 0);
    return const_cast<TqdNode*>(N);
  }
  while (!FStack.empty()) {
    auto& [N, I] = FStack.back();
    if (I >= N->GetChildNodesCount()) {
      FStack.pop_back();
      continue;
    }
    TqdNode* C = N->GetChildNode(I++);
    FStack.emplace_back(C, 0);
    return C;
  }
  return nullptr;
}

bool TqdFindByNode::Matches(const TqdNode& ANode) const {
  if (!FSample.GetName().empty() && !XMLEqualNoCase(FSample.GetName(), ANode.GetName())) return false;
  for (const auto& A : FSample.Attributes()) {
    const TqdNodeAttrib* B = ANode.GetAttributeByName(A->GetName());
    if (!B || B->GetText() != A->GetText()) return false;
  }
  return true;
}

std::vector<TqdNode*> TqdFindByNode::Find(const TqdNode& ARoot) const {
  std::vector<TqdNode*> R;
  TqdNodeIterator It(ARoot);
  while (TqdNode* N = It.Next())
    if (Matches(*N)) {
      R.push_back(N);
      if (!FFindAll) break;
    }
  return R;
}

std::vector<TqdNode*> TqdParser::FindNodeByName(std::string_view AName, const TqdNodeList<TqdNode>& AList,
                                                const TqdFindOptions& AOptions) {
  std::vector<TqdNode*> R;
  auto Match = [&](const TqdNode& N) {
    return AOptions.CaseSensitive ? N.GetName() == AName : XMLEqualNoCase(N.GetName(), AName);
  };
  for (const auto& Top : AList) {
    if (!AOptions.Recursive) {
      if (Match(*Top)) R.push_back(Top.get());
    } else {
      TqdNodeIterator It(*Top);
      while (TqdNode* N = It.Next())
        if (Match(*N)) R.push_back(N);
    }
    if (!R.empty() && !AOptions.FindAll) {
      R.resize(1);
      break;
    }
  }
  return R;
}

// ---------------------------------------------------------------- writer

namespace {

// Length of the UTF-8 sequence at S[I] and its code point; 0 when it is not valid.
int DecodeUTF8(std::string_view S, std::size_t I, char32_t& C) {
  const auto B = static_cast<unsigned char>(S[I]);
  if (B < 0x80) return C = B, 1;
  int N = B >= 0xF0 && B <= 0xF4 ? 4 : (B >= 0xE0 ? 3 : (B >= 0xC2 && B < 0xE0 ? 2 : 0));
  if (N == 0 || I + static_cast<std::size_t>(N) > S.size()) return 0;
  char32_t V = B & (0x7F >> N);
  for (int K = 1; K < N; ++K) {
    const auto T = static_cast<unsigned char>(S[I + static_cast<std::size_t>(K)]);
    if ((T & 0xC0) != 0x80) return 0;
    V = (V << 6) | (T & 0x3F);
  }
  if ((N == 3 && V < 0x800) || (N == 4 && (V < 0x10000 || V > 0x10FFFF)) || (V >= 0xD800 && V <= 0xDFFF)) return 0;
  C = V;
  return N;
}

}  // namespace

void AppendXMLEscaped(std::string& Out, std::string_view S) {
  std::size_t I = 0;
  while (I < S.size()) {
    // Plain runs are copied whole.
    std::size_t J = I;
    while (J < S.size()) {
      const auto B = static_cast<unsigned char>(S[J]);
      if (B < 0x20 || B >= 0x80 || B == '&' || B == '<' || B == '>' || B == '"') break;
      ++J;
    }
    Out.append(S.data() + I, J - I);
    I = J;
    if (I >= S.size()) break;
    const char Ch = S[I];
    switch (Ch) {
      case '&': Out += "&amp;"; ++I; continue;
      case '<': Out += "&lt;"; ++I; continue;
      case '>': Out += "&gt;"; ++I; continue;
      case '"': Out += "&quot;"; ++I; continue;
      case '\t': Out += "&#9;"; ++I; continue;
      case '\n': Out += "&#10;"; ++I; continue;
      case '\r': Out += "&#13;"; ++I; continue;
      default: break;
    }
    char32_t C = 0;
    const int N = DecodeUTF8(S, I, C);
    // Characters XML cannot carry at all (controls, U+FFFE, U+FFFF, broken UTF-8)
    // become the replacement character.
    if (N == 0 || C < 0x20 || C == 0xFFFE || C == 0xFFFF) {
      Out += "\xEF\xBF\xBD";
      I += N == 0 ? 1 : static_cast<std::size_t>(N);
    } else {
      Out.append(S.data() + I, static_cast<std::size_t>(N));
      I += static_cast<std::size_t>(N);
    }
  }
}

void WriteXMLStartTag(std::string& Out, const TqdNode& N, bool AClose) {
  Out += '<';
  Out += N.GetFullName();
  for (const auto& A : N.Attributes()) {
    Out += ' ';
    Out += A->GetFullName();
    Out += "=\"";
    A->FValue.AppendValueAsText(Out, true);
    Out += '"';
  }
  Out += AClose ? "/>" : ">";
}

namespace {

void AppendCommentText(std::string& Out, std::string_view S, std::string_view Forbidden, std::string_view Safe) {
  std::string T;
  AppendXMLEscaped(T, S);
  // Inside comments and PIs escapes are not read back; only the forbidden sequence
  // has to go, so the raw text is kept where it is valid.
  std::string Raw(S);
  std::size_t P = 0;
  while ((P = Raw.find(Forbidden, P)) != std::string::npos) {
    Raw.replace(P, Forbidden.size(), Safe);
    P += Safe.size();
  }
  std::string Clean;
  for (std::size_t I = 0; I < Raw.size();) {
    char32_t C = 0;
    const int N = DecodeUTF8(Raw, I, C);
    if (N == 0 || (C < 0x20 && C != '\t' && C != '\n' && C != '\r') || C == 0xFFFE || C == 0xFFFF) {
      Clean += "\xEF\xBF\xBD";
      I += N == 0 ? 1 : static_cast<std::size_t>(N);
    } else {
      Clean.append(Raw, I, static_cast<std::size_t>(N));
      I += static_cast<std::size_t>(N);
    }
  }
  if (!Clean.empty() && Clean.back() == Forbidden.front()) Clean += ' ';
  Out += Clean;
}

void Newline(std::string& Out, bool AIndent, int ALevel) {
  if (!AIndent) return;
  Out += '\n';
  Out.append(static_cast<std::size_t>(ALevel) * 2, ' ');
}

// Writes the node's own opening (and, without children, all of it); true when an end
// tag follows its children.
bool WriteOpen(std::string& Out, const TqdNode& N) {
  switch (N.Type) {
    case ntComment:
      Out += "<!--";
      AppendCommentText(Out, N.GetText(), "--", "- -");
      Out += "-->";
      return false;
    case ntProcessingInstr:
      Out += "<?";
      Out += N.GetFullName();
      if (const std::string T = N.GetText(); !T.empty()) {
        Out += ' ';
        AppendCommentText(Out, T, "?>", "? >");
      }
      Out += "?>";
      return false;
    case ntDocType:
      Out += "<!DOCTYPE ";
      AppendCommentText(Out, N.GetText(), ">", " ");
      Out += ">";
      return false;
    case ntCData: {
      std::string T = N.GetText();
      Out += "<![CDATA[";
      std::size_t P = 0;
      while ((P = T.find("]]>", P)) != std::string::npos) {
        T.replace(P, 3, "]]]]><![CDATA[>");
        P += 15;
      }
      AppendCommentText(Out, T, "\x01\x02", "");
      Out += "]]>";
      return false;
    }
    case ntText: AppendXMLEscaped(Out, N.GetText()); return false;
    default: break;
  }
  const std::string T = N.GetText();
  if (T.empty() && N.GetChildNodesCount() == 0) {
    WriteXMLStartTag(Out, N, true);
    return false;
  }
  WriteXMLStartTag(Out, N, false);
  AppendXMLEscaped(Out, T);
  return true;
}

}  // namespace

void WriteXMLNode(std::string& Out, const TqdNode& ANode, bool AIndent, int ALevel) {
  // (node, next child, whether it indents its children)
  struct TFrame {
    const TqdNode* N;
    int Next;
    bool Indent;
  };
  std::vector<TFrame> Stack;
  auto Open = [&](const TqdNode& N, bool Indent, int Level) {
    if (N.Type == ntDocument) {
      Stack.push_back({&N, 0, Indent});
      return;
    }
    if (WriteOpen(Out, N)) Stack.push_back({&N, 0, Indent && N.GetText().empty()});
    (void)Level;
  };
  Open(ANode, AIndent, ALevel);
  bool FirstTop = true;
  while (!Stack.empty()) {
    TFrame& F = Stack.back();
    const int Level = ALevel + static_cast<int>(Stack.size()) - (Stack.front().N->Type == ntDocument ? 1 : 0);
    if (F.Next < F.N->GetChildNodesCount()) {
      const TqdNode& C = *F.N->GetChildNode(F.Next++);
      const bool Indent = F.Indent;
      if (F.N->Type == ntDocument) {
        if (!FirstTop && Indent) Out += '\n';
        FirstTop = false;
        if (Indent) Out.append(static_cast<std::size_t>(ALevel) * 2, ' ');
      } else {
        Newline(Out, Indent, Level);
      }
      Open(C, Indent, Level);
      continue;
    }
    const TqdNode* N = F.N;
    const bool Indent = F.Indent;
    Stack.pop_back();
    if (N->Type == ntDocument) continue;
    if (N->GetChildNodesCount() > 0) Newline(Out, Indent, Level - 1);
    Out += "</";
    Out += N->GetFullName();
    Out += '>';
  }
}

// ---------------------------------------------------------------- parser

namespace {

bool IsNameStart(unsigned char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_' || C == ':' || C >= 0x80;
}
bool IsNameChar(unsigned char C) {
  return IsNameStart(C) || (C >= '0' && C <= '9') || C == '-' || C == '.';
}
bool IsSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }

bool IsXMLChar(std::uint64_t C) {
  return C == 0x9 || C == 0xA || C == 0xD || (C >= 0x20 && C <= 0xD7FF) || (C >= 0xE000 && C <= 0xFFFD) ||
         (C >= 0x10000 && C <= 0x10FFFF);
}

// Expands the five predefined entities and numeric references to valid characters;
// every other reference (declared or not) stays as it was written.
void AppendDecoded(std::string& Out, std::string_view S, bool AAttribute) {
  std::size_t I = 0;
  while (I < S.size()) {
    const std::size_t Amp = S.find('&', I);
    std::string_view Run = S.substr(I, Amp == std::string_view::npos ? std::string_view::npos : Amp - I);
    if (AAttribute) {
      for (char C : Run) Out += (C == '\t' || C == '\n' || C == '\r') ? ' ' : C;
    } else {
      Out.append(Run);
    }
    if (Amp == std::string_view::npos) return;
    I = Amp;
    const std::size_t Semi = S.find(';', I + 1);
    if (Semi == std::string_view::npos || Semi - I > 12) {
      Out += '&';
      ++I;
      continue;
    }
    const std::string_view Ref = S.substr(I + 1, Semi - I - 1);
    bool Done = true;
    if (Ref == "lt") Out += '<';
    else if (Ref == "gt") Out += '>';
    else if (Ref == "amp") Out += '&';
    else if (Ref == "apos") Out += '\'';
    else if (Ref == "quot") Out += '"';
    else if (Ref.size() >= 2 && Ref[0] == '#') {
      const bool Hex = Ref[1] == 'x';
      std::uint64_t V = 0;
      const std::string_view Digits = Ref.substr(Hex ? 2 : 1);
      Done = !Digits.empty();
      for (char C : Digits) {
        int D = -1;
        if (C >= '0' && C <= '9') D = C - '0';
        else if (Hex && C >= 'a' && C <= 'f') D = C - 'a' + 10;
        else if (Hex && C >= 'A' && C <= 'F') D = C - 'A' + 10;
        if (D < 0 || V > 0x10FFFF) {
          Done = false;
          break;
        }
        V = V * (Hex ? 16 : 10) + static_cast<unsigned>(D);
      }
      if (Done && IsXMLChar(V))
        AppendUTF8(Out, static_cast<char32_t>(V));
      else
        Done = false;
    } else {
      Done = false;
    }
    if (!Done) {
      Out += '&';
      ++I;
      continue;
    }
    I = Semi + 1;
  }
}

// The input as UTF-8: a byte-order mark or the declaration's encoding decides.
std::string ToUTF8(std::string_view In) {
  auto FromUTF16 = [](std::string_view S, bool BE) {
    std::string R;
    R.reserve(S.size());
    for (std::size_t I = 0; I + 1 < S.size(); I += 2) {
      const auto A = static_cast<unsigned char>(S[I]), B = static_cast<unsigned char>(S[I + 1]);
      char32_t U = BE ? (A << 8 | B) : (B << 8 | A);
      if (U >= 0xD800 && U <= 0xDBFF && I + 3 < S.size()) {
        const auto C = static_cast<unsigned char>(S[I + 2]), D = static_cast<unsigned char>(S[I + 3]);
        const char32_t L = BE ? (C << 8 | D) : (D << 8 | C);
        if (L >= 0xDC00 && L <= 0xDFFF) {
          U = 0x10000 + ((U - 0xD800) << 10) + (L - 0xDC00);
          I += 2;
        }
      }
      AppendUTF8(R, U);  // lone surrogates become U+FFFD
    }
    return R;
  };
  if (In.size() >= 3 && In.substr(0, 3) == "\xEF\xBB\xBF") return SanitizeUTF8(In.substr(3));
  if (In.size() >= 2 && In.substr(0, 2) == "\xFF\xFE") return FromUTF16(In.substr(2), false);
  if (In.size() >= 2 && In.substr(0, 2) == "\xFE\xFF") return FromUTF16(In.substr(2), true);
  if (In.size() >= 4 && In[0] == '<' && In[1] == '\0') return FromUTF16(In, false);
  if (In.size() >= 4 && In[0] == '\0' && In[1] == '<') return FromUTF16(In, true);
  // 8-bit encodings named in the declaration.
  if (In.substr(0, 5) == "<?xml") {
    const std::string_view Decl = In.substr(0, In.find("?>"));
    const std::size_t E = Decl.find("encoding");
    if (E != std::string_view::npos) {
      std::size_t Q = Decl.find_first_of("\"'", E);
      if (Q != std::string_view::npos) {
        const std::size_t Q2 = Decl.find(Decl[Q], Q + 1);
        const std::string Enc = XMLLowerText(Decl.substr(Q + 1, Q2 == std::string_view::npos ? 0 : Q2 - Q - 1));
        if (Enc == "iso-8859-1" || Enc == "latin1" || Enc == "latin-1" || Enc == "us-ascii") {
          std::string R;
          R.reserve(In.size());
          for (char C : In) AppendUTF8(R, static_cast<unsigned char>(C));
          return R;
        }
        if (Enc.rfind("windows-", 0) == 0) {
          int CP = 0;
          for (char C : Enc.substr(8)) CP = C >= '0' && C <= '9' && CP < 100000 ? CP * 10 + (C - '0') : -1;
          if (CP > 0 && IsCodePageSupported(CP)) return CodePageToUTF8(CP, In);
        }
      }
    }
  }
  return SanitizeUTF8(In);
}

class TParse {
public:
  TParse(std::string_view S, TqdParser& P) : FS(S), FP(P) {}
  // Fills ARoot; false with FError set on a fault.
  bool Run(TqdNode& ARoot);
  std::string FError;
  std::size_t FErrorPos = 0;

private:
  TqdNodePosition PosOf(std::size_t Pos);
  bool Fail(std::size_t Pos, std::string Msg) {
    FErrorPos = Pos;
    FError = std::move(Msg);
    return false;
  }
  bool ReadName(std::size_t& Pos, std::string_view& Name) {
    const std::size_t Start = Pos;
    if (Pos >= FS.size() || !IsNameStart(static_cast<unsigned char>(FS[Pos]))) return false;
    while (Pos < FS.size() && IsNameChar(static_cast<unsigned char>(FS[Pos]))) ++Pos;
    Name = FS.substr(Start, Pos - Start);
    return true;
  }
  void SkipSpace(std::size_t& Pos) {
    while (Pos < FS.size() && IsSpace(FS[Pos])) ++Pos;
  }

  std::string_view FS;
  TqdParser& FP;
  std::size_t FLinePos = 0;  // PosOf counts lines incrementally
  int FLine = 1;
  std::size_t FLineStart = 0;
};

TqdNodePosition TParse::PosOf(std::size_t Pos) {
  if (Pos < FLinePos) {
    FLinePos = 0;
    FLine = 1;
    FLineStart = 0;
  }
  for (std::size_t I = FLinePos; I < Pos && I < FS.size(); ++I)
    if (FS[I] == '\n') {
      ++FLine;
      FLineStart = I + 1;
    }
  FLinePos = Pos;
  return {FLine, static_cast<int>(Pos - FLineStart) + 1};
}

bool TParse::Run(TqdNode& ARoot) {
  std::vector<TqdNode*> Stack{&ARoot};
  std::size_t Pos = 0;
  std::size_t Elements = 0;
  bool SeenRoot = false;
  while (Pos < FS.size()) {
    TqdNode* Cur = Stack.back();
    if (FS[Pos] != '<') {
      const std::size_t End = std::min(FS.find('<', Pos), FS.size());
      const std::string_view Raw = FS.substr(Pos, End - Pos);
      bool Blank = true;
      for (char C : Raw) Blank = Blank && IsSpace(C);
      if (!Blank) {
        if (Stack.size() == 1) return Fail(Pos, "text outside the root element");
        std::string T = Cur->Text.GetValueAsText();
        AppendDecoded(T, Raw, false);
        Cur->Text.SetValueAsStr(T);
      }
      Pos = End;
      continue;
    }
    const std::string_view Rest = FS.substr(Pos);
    if (Rest.substr(0, 4) == "<!--") {
      const std::size_t End = FS.find("-->", Pos + 4);
      if (End == std::string_view::npos) return Fail(Pos, "comment not closed");
      auto N = std::make_unique<TqdNode>(ntComment);
      N->Position = PosOf(Pos);
      N->Text.SetValueAsStr(FS.substr(Pos + 4, End - Pos - 4));
      Cur->AddChild(std::move(N));
      Pos = End + 3;
      continue;
    }
    if (Rest.substr(0, 9) == "<![CDATA[") {
      const std::size_t End = FS.find("]]>", Pos + 9);
      if (End == std::string_view::npos) return Fail(Pos, "CDATA section not closed");
      if (Stack.size() == 1) return Fail(Pos, "CDATA outside the root element");
      Cur->Text.SetValueAsStr(Cur->Text.GetValueAsText() + std::string(FS.substr(Pos + 9, End - Pos - 9)));
      Pos = End + 3;
      continue;
    }
    if (Rest.substr(0, 9) == "<!DOCTYPE") {
      if (Stack.size() != 1 || SeenRoot) return Fail(Pos, "DOCTYPE inside the document");
      // The internal subset is skipped, quotes respected; its declarations are kept as
      // text and never applied.
      std::size_t I = Pos + 9;
      int Bracket = 0;
      char Quote = 0;
      for (; I < FS.size(); ++I) {
        const char C = FS[I];
        if (Quote) {
          if (C == Quote) Quote = 0;
        } else if (C == '"' || C == '\'') {
          Quote = C;
        } else if (C == '[') {
          ++Bracket;
        } else if (C == ']') {
          --Bracket;
        } else if (C == '>' && Bracket <= 0) {
          break;
        }
      }
      if (I >= FS.size()) return Fail(Pos, "DOCTYPE not closed");
      auto N = std::make_unique<TqdNodeDocType>();
      N->Position = PosOf(Pos);
      std::string_view Body = FS.substr(Pos + 9, I - Pos - 9);
      while (!Body.empty() && IsSpace(Body.front())) Body.remove_prefix(1);
      N->Text.SetValueAsStr(Body);
      Cur->AddChild(std::move(N));
      Pos = I + 1;
      continue;
    }
    if (Rest.substr(0, 2) == "<!") return Fail(Pos, "unknown markup declaration");
    if (Rest.substr(0, 2) == "<?") {
      const std::size_t End = FS.find("?>", Pos + 2);
      if (End == std::string_view::npos) return Fail(Pos, "processing instruction not closed");
      std::size_t P = Pos + 2;
      std::string_view Target;
      if (!ReadName(P, Target)) return Fail(Pos, "processing instruction without a target");
      // The declaration is read (encodings are handled before parsing) but not kept:
      // saving writes its own.
      if (!XMLEqualNoCase(Target, "xml")) {
        auto N = std::make_unique<TqdNode>(ntProcessingInstr);
        N->Position = PosOf(Pos);
        N->SetFullName(Target);
        SkipSpace(P);
        N->Text.SetValueAsStr(FS.substr(P, End > P ? End - P : 0));
        Cur->AddChild(std::move(N));
      }
      Pos = End + 2;
      continue;
    }
    if (Rest.substr(0, 2) == "</") {
      std::size_t P = Pos + 2;
      std::string_view Name;
      if (!ReadName(P, Name)) return Fail(Pos, "end tag without a name");
      SkipSpace(P);
      if (P >= FS.size() || FS[P] != '>') return Fail(P, "'>' expected");
      if (Stack.size() == 1) return Fail(Pos, "end tag </" + std::string(Name) + "> without a start tag");
      if (Name != Cur->GetFullName())
        return Fail(Pos, "end tag </" + std::string(Name) + "> does not match <" + Cur->GetFullName() + ">");
      Stack.pop_back();
      Pos = P + 1;
      continue;
    }
    // A start tag.
    std::size_t P = Pos + 1;
    std::string_view Name;
    if (!ReadName(P, Name)) return Fail(Pos, "element name expected");
    if (Stack.size() == 1 && SeenRoot) return Fail(Pos, "a second root element");
    if (static_cast<int>(Stack.size()) > cnstXMLMaxDepth)
      return Fail(Pos, "elements nested deeper than " + std::to_string(cnstXMLMaxDepth) + " levels");
    auto N = std::make_unique<TqdNode>(ntElement);
    N->Position = PosOf(Pos);
    N->SetFullName(Name);
    bool Empty = false;
    while (true) {
      const std::size_t Before = P;
      SkipSpace(P);
      if (P >= FS.size()) return Fail(Pos, "start tag not closed");
      if (FS[P] == '>') {
        ++P;
        break;
      }
      if (FS[P] == '/') {
        if (P + 1 >= FS.size() || FS[P + 1] != '>') return Fail(P, "'>' expected");
        P += 2;
        Empty = true;
        break;
      }
      if (P == Before) return Fail(P, "space expected between attributes");
      const std::size_t AttrPos = P;
      std::string_view AName;
      if (!ReadName(P, AName)) return Fail(P, "attribute name expected");
      SkipSpace(P);
      if (P >= FS.size() || FS[P] != '=') return Fail(P, "'=' expected");
      ++P;
      SkipSpace(P);
      if (P >= FS.size() || (FS[P] != '"' && FS[P] != '\'')) return Fail(P, "quoted attribute value expected");
      const char Q = FS[P];
      const std::size_t End = FS.find(Q, P + 1);
      if (End == std::string_view::npos) return Fail(P, "attribute value not closed");
      const std::string_view Raw = FS.substr(P + 1, End - P - 1);
      if (Raw.find('<') != std::string_view::npos) return Fail(P, "'<' in an attribute value");
      for (const auto& A : N->Attributes())
        if (A->GetFullName() == AName) return Fail(AttrPos, "attribute '" + std::string(AName) + "' given twice");
      std::string V;
      AppendDecoded(V, Raw, true);
      TqdData D;
      D.SetValueAsStr(V);
      TqdNodeAttrib* A = N->AddAttribNV(AName, D);
      A->Position = PosOf(AttrPos);
      P = End + 1;
    }
    TqdNode* Added = Cur->AddChild(std::move(N));
    if (Stack.size() == 1) SeenRoot = true;
    if (!Empty) Stack.push_back(Added);
    Pos = P;
    if ((++Elements & 255) == 0) {
      if (FP.OnProgress) FP.OnProgress(Pos, FS.size());
      if (FP.Stopped && FP.Stopped()) return Fail(Pos, "stopped");
    }
  }
  if (Stack.size() > 1) return Fail(FS.size(), "element <" + Stack.back()->GetFullName() + "> not closed");
  if (!SeenRoot) return Fail(FS.size(), "no root element");
  return true;
}

}  // namespace

TqdParser::TqdParser() : FRoot(std::make_unique<TqdNodeDocument>()) {}

void TqdParser::Clear() {
  FRoot = std::make_unique<TqdNodeDocument>();
  FDebugInfo.clear();
}

bool TqdParser::LoadFromString(std::string_view AText) {
  Clear();
  const std::string Text = ToUTF8(AText);
  TParse P(Text, *this);
  if (P.Run(*FRoot)) return true;
  int Line = 1;
  std::size_t LineStart = 0;
  for (std::size_t I = 0; I < P.FErrorPos && I < Text.size(); ++I)
    if (Text[I] == '\n') ++Line, LineStart = I + 1;
  FDebugInfo = "XML error on line " + std::to_string(Line) + ", column " +
               std::to_string(P.FErrorPos - LineStart + 1) + ": " + P.FError;
  return false;
}

bool TqdParser::LoadFromStream(std::istream& AStream) {
  std::string S((std::istreambuf_iterator<char>(AStream)), std::istreambuf_iterator<char>());
  return LoadFromString(S);
}

std::string TqdParser::SaveToString() const {
  std::string U;
  const char* Enc = SaveEncoding == xeUTF8 ? "UTF-8" : (SaveEncoding == xeLatin1 ? "ISO-8859-1" : "UTF-16");
  U += "<?xml version=\"1.0\" encoding=\"";
  U += Enc;
  U += "\"?>\n";
  WriteXMLNode(U, *FRoot, Indent, 0);
  U += '\n';
  if (SaveEncoding == xeUTF8) return U;
  std::string R;
  if (SaveEncoding == xeLatin1) {
    // Characters beyond Latin-1 are written as references, which any reader expands.
    for (std::size_t I = 0; I < U.size();) {
      char32_t C = 0;
      int N = DecodeUTF8(U, I, C);
      if (N == 0) N = 1, C = '?';
      if (C < 0x100) {
        R += static_cast<char>(C);
      } else {
        R += "&#" + std::to_string(static_cast<std::uint32_t>(C)) + ";";
      }
      I += static_cast<std::size_t>(N);
    }
    return R;
  }
  const bool BE = SaveEncoding == xeUTF16BE;
  auto Put = [&](char32_t W) {
    const char Hi = static_cast<char>((W >> 8) & 0xFF), Lo = static_cast<char>(W & 0xFF);
    if (BE) R += Hi, R += Lo;
    else R += Lo, R += Hi;
  };
  Put(0xFEFF);
  for (std::size_t I = 0; I < U.size();) {
    char32_t C = 0;
    int N = DecodeUTF8(U, I, C);
    if (N == 0) N = 1, C = 0xFFFD;
    if (C >= 0x10000) {
      Put(0xD800 + ((C - 0x10000) >> 10));
      Put(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Put(C);
    }
    I += static_cast<std::size_t>(N);
  }
  return R;
}

void TqdParser::SaveToStream(std::ostream& AStream) const {
  const std::string S = SaveToString();
  AStream.write(S.data(), static_cast<std::streamsize>(S.size()));
}

std::vector<std::string> TqdParser::SaveToStrings() const {
  std::vector<std::string> R;
  std::istringstream In(SaveToString());
  for (std::string L; std::getline(In, L);) R.push_back(L);
  return R;
}
