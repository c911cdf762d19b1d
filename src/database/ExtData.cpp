#include "ExtData.h"

#include <algorithm>
#include <cmath>

namespace {

char AsciiUpper(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; }

double Finite(double V) { return std::isfinite(V) ? V : 0.0; }

// Byte length of the first N code points of a UTF-8 string.
std::size_t Utf8Prefix(std::string_view S, std::size_t N) {
  if (S.size() <= N) return S.size();  // never more characters than bytes
  // Plain ASCII up to and including the byte after the cut: N characters are N bytes.
  bool Ascii = true;
  for (std::size_t I = 0; I <= N; ++I) Ascii &= static_cast<unsigned char>(S[I]) < 0x80;
  if (Ascii) return N;
  std::size_t Pos = 0, Chars = 0;
  while (Pos < S.size() && Chars < N) {
    ++Pos;
    while (Pos < S.size() && (static_cast<unsigned char>(S[Pos]) & 0xC0) == 0x80) ++Pos;
    ++Chars;
  }
  return Pos;
}

}  // namespace

bool SameNameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (A[i] != B[i] && AsciiUpper(A[i]) != AsciiUpper(B[i])) return false;
  return true;
}

int CompareNameText(std::string_view A, std::string_view B) {
  const std::size_t N = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < N; ++i) {
    const auto CA = static_cast<unsigned char>(AsciiUpper(A[i]));
    const auto CB = static_cast<unsigned char>(AsciiUpper(B[i]));
    if (CA != CB) return CA < CB ? -1 : 1;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

std::string UpperNameText(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiUpper(C);
  return R;
}

void TqdCADExtendedData::SetSorted(bool Value) {
  FSorted = Value;
  if (FSorted)
    std::stable_sort(FItems.begin(), FItems.end(),
                     [](const TqdExtData& A, const TqdExtData& B) { return A.ECode < B.ECode; });
}

void TqdCADExtendedData::Delete(int Index) {
  if (Index >= 0 && Index < Count()) FItems.erase(FItems.begin() + Index);
}

int TqdCADExtendedData::Add(TqdExtData Item) {
  if (!FSorted) {
    FItems.push_back(std::move(Item));
    return Count() - 1;
  }
  auto It = std::upper_bound(FItems.begin(), FItems.end(), Item.ECode,
                             [](int Code, const TqdExtData& E) { return Code < E.ECode; });
  It = FItems.insert(It, std::move(Item));
  return static_cast<int>(It - FItems.begin());
}

static TqdExtData MakeItem(TqdExtDataType T, int Code) {
  TqdExtData D;
  D.EType = T;
  D.ECode = static_cast<std::int16_t>(std::clamp(Code, -32768, 32767));
  return D;
}

int TqdCADExtendedData::AddByte(int Code, std::uint8_t V) {
  auto D = MakeItem(edtByte, Code);
  D.EInt = V;
  return Add(std::move(D));
}
int TqdCADExtendedData::AddInt16(int Code, std::int16_t V) {
  auto D = MakeItem(edtInt16, Code);
  D.EInt = V;
  return Add(std::move(D));
}
int TqdCADExtendedData::AddInt(int Code, std::int32_t V) {
  auto D = MakeItem(edtInt, Code);
  D.EInt = V;
  return Add(std::move(D));
}
int TqdCADExtendedData::AddInt64(int Code, std::int64_t V) {
  auto D = MakeItem(edtInt64, Code);
  D.EInt = V;
  return Add(std::move(D));
}
int TqdCADExtendedData::AddSingle(int Code, float V) {
  auto D = MakeItem(edtSingle, Code);
  D.EDouble = Finite(V);
  return Add(std::move(D));
}
int TqdCADExtendedData::AddDouble(int Code, double V) {
  auto D = MakeItem(edtDouble, Code);
  D.EDouble = Finite(V);
  return Add(std::move(D));
}
int TqdCADExtendedData::AddString(int Code, std::string_view V) {
  auto D = MakeItem(edtString, Code);
  D.EString.assign(V.substr(0, Utf8Prefix(V, cnstMaxExtDataString)));
  return Add(std::move(D));
}
int TqdCADExtendedData::AddF2DPoint(int Code, const TF2DPoint& V) {
  auto D = MakeItem(edtF2DPoint, Code);
  D.EPoint = {Finite(V.X), Finite(V.Y), 0};
  return Add(std::move(D));
}
int TqdCADExtendedData::AddPoint(int Code, const TFPoint& V) {
  auto D = MakeItem(edtF3DPoint, Code);
  D.EPoint = {Finite(V.X), Finite(V.Y), Finite(V.Z)};
  return Add(std::move(D));
}
int TqdCADExtendedData::AddBinary(int Code, std::string_view Bytes) {
  auto D = MakeItem(edtBinary, Code);
  const std::size_t N = std::min(Bytes.size(), cnstMaxExtDataBinary);
  D.EString.reserve(N + 1);
  D.EString.push_back(static_cast<char>(N));
  D.EString.append(Bytes.substr(0, N));
  return Add(std::move(D));
}
int TqdCADExtendedData::AddObject(int Code, void* V) {
  auto D = MakeItem(edtObject, Code);
  D.EObject = V;
  return Add(std::move(D));
}

const TqdExtData* TqdCADExtendedData::Find(int IndexOrCode) const {
  if (UseCode) {
    for (const auto& D : FItems)
      if (D.ECode == IndexOrCode) return &D;
    return nullptr;
  }
  if (IndexOrCode < 0 || IndexOrCode >= Count()) return nullptr;
  return &FItems[static_cast<std::size_t>(IndexOrCode)];
}

TqdExtDataType TqdCADExtendedData::DataType(int I) const {
  const auto* D = Find(I);
  return D ? D->EType : edtUndefined;
}
int TqdCADExtendedData::DataCode(int I) const {
  const auto* D = Find(I);
  return D ? D->ECode : 0;
}
std::int64_t TqdCADExtendedData::DataInt(int I) const {
  const auto* D = Find(I);
  if (!D) return 0;
  switch (D->EType) {
    case edtByte: case edtInt16: case edtInt: case edtInt64: return D->EInt;
    case edtSingle: case edtDouble:
      // Range-checked: a double outside int64 cannot be converted.
      if (D->EDouble > -9.2e18 && D->EDouble < 9.2e18) return static_cast<std::int64_t>(D->EDouble);
      return 0;
    default: return 0;
  }
}
double TqdCADExtendedData::DataDouble(int I) const {
  const auto* D = Find(I);
  if (!D) return 0;
  switch (D->EType) {
    case edtByte: case edtInt16: case edtInt: case edtInt64: return static_cast<double>(D->EInt);
    case edtSingle: case edtDouble: return D->EDouble;
    default: return 0;
  }
}
std::string TqdCADExtendedData::DataString(int I) const {
  const auto* D = Find(I);
  return (D && D->EType == edtString) ? D->EString : std::string();
}
TFPoint TqdCADExtendedData::DataPoint(int I) const {
  const auto* D = Find(I);
  return (D && (D->EType == edtF2DPoint || D->EType == edtF3DPoint)) ? D->EPoint : TFPoint{};
}
std::string TqdCADExtendedData::DataBinary(int I) const {
  const auto* D = Find(I);
  if (!D || D->EType != edtBinary || D->EString.empty()) return {};
  const std::size_t N = static_cast<unsigned char>(D->EString[0]);
  return D->EString.substr(1, N);
}
void* TqdCADExtendedData::DataObject(int I) const {
  const auto* D = Find(I);
  return (D && D->EType == edtObject) ? D->EObject : nullptr;
}

bool TqdCADExtendedData::IsEqualName(std::string_view AName) const {
  return !FItems.empty() && FItems[0].EType == edtString && FItems[0].ECode == 1001 &&
         SameNameText(FItems[0].EString, AName);
}
bool TqdCADExtendedData::IsEqualSubName(std::string_view AName) const {
  return FItems.size() > 1 && FItems[1].EType == edtString && FItems[1].ECode == 1000 &&
         SameNameText(FItems[1].EString, AName);
}

TqdCADExtendedData HyperLinkToExtData(std::string_view HyperLink) {
  const std::size_t Hash = HyperLink.find('#');
  const std::string_view Before = HyperLink.substr(0, Hash);
  const std::string_view After =
      Hash == std::string_view::npos ? std::string_view() : HyperLink.substr(Hash + 1);
  TqdCADExtendedData D;
  D.AddString(1001, cnstHyperLinkAppName);
  D.AddString(1000, After);
  D.AddString(1002, "{");
  D.AddString(1000, Before);
  D.AddString(1002, "{");
  D.AddInt16(1071, 1);
  D.AddString(1002, "}");
  D.AddString(1002, "}");
  return D;
}

std::string HyperLinkFromExtData(const TqdCADExtendedData& Data) {
  if (!Data.IsEqualName(cnstHyperLinkAppName)) return {};
  std::vector<std::string> Strings;
  for (const auto& D : Data.Items())
    if (D.EType == edtString && D.ECode == 1000) Strings.push_back(D.EString);
  if (Strings.empty()) return {};
  if (Strings.size() == 1) return Strings[0];
  return Strings[0].empty() ? Strings[1] : Strings[1] + "#" + Strings[0];
}
