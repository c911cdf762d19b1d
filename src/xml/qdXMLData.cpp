// Typed values of the node model, their text forms, and the attribute table.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>

#include "qdFunction.h"
#include "qdXMLParser.h"

namespace {

struct TTypeInfo {
  const char* Name;
  const char* Description;
};

const TTypeInfo cTypes[cnstDataTypeCount] = {
    {"Undefined", "No value"},
    {"Boolean", "true or false"},
    {"Byte", "Integer 0..255"},
    {"Word", "Integer 0..65535"},
    {"Integer", "32-bit signed integer"},
    {"Int64", "64-bit signed integer"},
    {"Color", "RGB colour, # and hexadecimal with red most significant"},
    {"Handle", "Handle, $ and hexadecimal"},
    {"Single", "Single-precision number"},
    {"Double", "Double-precision number"},
    {"Pointer", "Address, shown for information only"},
    {"String", "Text"},
    {"Point", "Integer point X,Y"},
    {"F2DPoint", "2D point x,y"},
    {"FPoint", "3D point x,y[,z]"},
    {"Rect", "Integer rectangle left,top,right,bottom"},
    {"F2DRect", "2D rectangle left,top,right,bottom"},
    {"FRect", "3D box: its two corner points"},
    {"Version", "Version major.minor"},
    {"ColorCAD", "Entity colour: kind;value;album"},
    {"EntHandle", "Handle of a drawing item"},
    {"EntName", "Name of a table item"},
    {"List", "List of child elements"},
    {"ListItem", "Element of a list"},
    {"StringInternal", "Internal text data"},
    {"Base64", "Binary data in base 64"},
    {"Singles", "List of numbers"},
    {"FPoints2DOr3D", "List of points"},
    {"Procedure", "Action"},
    {"Parameters", "Set of parameters"},
    {"Guid", "Globally unique identifier"},
};

void AppendInt(std::string& S, std::int64_t V) {
  char Buf[24];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
  S.append(Buf, R.ptr);
}

void AppendHex(std::string& S, std::uint64_t V, int MinDigits = 1) {
  char Buf[24];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, V, 16);
  const int N = static_cast<int>(R.ptr - Buf);
  for (int I = N; I < MinDigits; ++I) S += '0';
  for (char* P = Buf; P < R.ptr; ++P) S += (*P >= 'a' && *P <= 'f') ? static_cast<char>(*P - 32) : *P;
}

void AppendDouble(std::string& S, double V) {
  if (V == 0 || !std::isfinite(V)) {
    S += '0';
    return;
  }
  char Buf[40];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::general, 15);
  S.append(Buf, R.ptr);
}

bool ParseInt64(std::string_view S, std::int64_t& V) {
  S = TrimBlanks(S);
  if (!S.empty() && S.front() == '+') S.remove_prefix(1);
  if (S.empty()) return false;
  auto R = std::from_chars(S.data(), S.data() + S.size(), V);
  return R.ec == std::errc() && R.ptr == S.data() + S.size();
}

bool ParseHex(std::string_view S, std::uint64_t& V) {
  S = TrimBlanks(S);
  if (S.empty()) return false;
  auto R = std::from_chars(S.data(), S.data() + S.size(), V, 16);
  return R.ec == std::errc() && R.ptr == S.data() + S.size();
}

// N numbers separated by commas; false unless exactly N were there.
template <class T> int ParseList(std::string_view S, T* Out, int Max) {
  int N = 0;
  while (true) {
    const std::size_t Comma = S.find(',');
    std::string_view Part = S.substr(0, Comma);
    if (N == Max) return -1;
    if constexpr (std::is_same_v<T, double>) {
      if (!XMLTextToDouble(Part, Out[N])) return -1;
    } else {
      std::int64_t I;
      if (!ParseInt64(Part, I) || I < INT32_MIN || I > INT32_MAX) return -1;
      Out[N] = static_cast<int>(I);
    }
    ++N;
    if (Comma == std::string_view::npos) return N;
    S.remove_prefix(Comma + 1);
  }
}

std::uint32_t SwapRB(std::uint32_t C) {
  return (C & 0xFF000000u) | ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
}


}  // namespace

bool XMLEqualNoCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X + 32);
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y + 32);
    if (X != Y) return false;
  }
  return true;
}

std::string XMLLowerText(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return R;
}

const char* DataTypeName(TqdDataType T) {
  return T >= 0 && T < cnstDataTypeCount ? cTypes[T].Name : cTypes[0].Name;
}
const char* DataTypeDescription(TqdDataType T) {
  return T >= 0 && T < cnstDataTypeCount ? cTypes[T].Description : cTypes[0].Description;
}

std::string XMLDoubleText(double V) {
  std::string S;
  AppendDouble(S, V);
  return S;
}

bool XMLTextToDouble(std::string_view S, double& V) {
  S = TrimBlanks(S);
  if (!S.empty() && S.front() == '+') S.remove_prefix(1);
  if (S.empty()) return false;
  double D = 0;
  auto R = std::from_chars(S.data(), S.data() + S.size(), D);
  if (R.ec != std::errc() || R.ptr != S.data() + S.size() || !std::isfinite(D)) return false;
  V = D;
  return true;
}

// ---------------------------------------------------------------- TqdData setters

void TqdData::SetValueAsBool(bool V) {
  FValue.DType = dtBool;
  FValue.I = V;
}
void TqdData::SetValueAsByte(std::uint8_t V) {
  FValue.DType = dtByte;
  FValue.I = V;
}
void TqdData::SetValueAsWord(std::uint16_t V) {
  FValue.DType = dtWord;
  FValue.I = V;
}
void TqdData::SetValueAsInt(int V) {
  FValue.DType = dtInteger;
  FValue.I = V;
}
void TqdData::SetValueAsInt64(std::int64_t V) {
  FValue.DType = dtInt64;
  FValue.I = V;
}
void TqdData::SetValueAsColor(std::uint32_t V) {
  FValue.DType = dtColor;
  FValue.I = V;
}
void TqdData::SetValueAsHandle(std::uint64_t V) {
  FValue.DType = dtHandle;
  FValue.I = static_cast<std::int64_t>(V);
}
void TqdData::SetValueAsSingle(float V) {
  FValue.DType = dtSingle;
  FValue.D[0] = std::isfinite(V) ? V : 0;
}
void TqdData::SetValueAsDouble(double V) {
  FValue.DType = dtDouble;
  FValue.D[0] = std::isfinite(V) ? V : 0;
}
void TqdData::SetValueAsPointer(const void* V) {
  FValue.DType = dtPointer;
  FValue.I = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(V));
}
void TqdData::SetValueAsStr(std::string_view V) {
  FValue.DType = dtString;
  FValue.S.assign(V);
}
void TqdData::SetValueAsPoint(const TqdXMLPoint& V) {
  FValue.DType = dtPoint;
  FValue.D[0] = V.X;
  FValue.D[1] = V.Y;
}
void TqdData::SetValueAsF2DPoint(const TF2DPoint& V) {
  FValue.DType = dtTF2DPoint;
  FValue.D[0] = V.X;
  FValue.D[1] = V.Y;
}
void TqdData::SetValueAsFPoint(const TFPoint& V) {
  FValue.DType = dtTFPoint;
  FValue.D[0] = V.X;
  FValue.D[1] = V.Y;
  FValue.D[2] = V.Z;
}
void TqdData::SetValueAsRect(const TqdXMLRect& V) {
  FValue.DType = dtRect;
  FValue.D[0] = V.Left;
  FValue.D[1] = V.Top;
  FValue.D[2] = V.Right;
  FValue.D[3] = V.Bottom;
}
void TqdData::SetValueAsF2DRect(const TF2DRect& V) {
  FValue.DType = dtTF2DRect;
  FValue.D[0] = V.Left;
  FValue.D[1] = V.Top;
  FValue.D[2] = V.Right;
  FValue.D[3] = V.Bottom;
}
void TqdData::SetValueAsFRect(const TFRect& V) {
  FValue.DType = dtTFRect;
  const double D[6] = {V.Left, V.Top, V.Z1, V.Right, V.Bottom, V.Z2};
  std::memcpy(FValue.D, D, sizeof D);
}
void TqdData::SetValueAsVersion(const TqdXMLVersion& V) {
  FValue.DType = dtVersion;
  FValue.I = V.Major;
  FValue.U = static_cast<std::uint32_t>(V.Minor);
}
void TqdData::SetValueAsColorCAD(const TqdXMLColorCAD& V) {
  FValue.DType = dtColorCAD;
  FValue.I = V.Active == 1 ? 1 : 0;
  FValue.U = V.Color;
  FValue.S = V.AlbumString;
}
void TqdData::SetValueAsType(TqdDataType T, std::string_view V) {
  FValue.DType = T;
  FValue.S.assign(V);
}

// ---------------------------------------------------------------- text form

std::string TqdData::GetValueAsText() const {
  std::string S;
  AppendValueAsText(S, false);
  return S;
}

void TqdData::AppendValueAsText(std::string& Out, bool AEscape) const {
  const TqdDataValue& V = FValue;
  if (AEscape && (V.DType == dtString || V.DType == dtColorCAD)) {
    // The only forms that carry free text.
    if (V.DType == dtString) return AppendXMLEscaped(Out, V.S);
    std::string T;
    AppendTextForm(T);
    return AppendXMLEscaped(Out, T);
  }
  AppendTextForm(Out);
}

void TqdData::AppendTextForm(std::string& S) const {
  const TqdDataValue& V = FValue;
  switch (V.DType) {
    case dtBool: S += V.I ? "true" : "false"; return;
    case dtByte:
    case dtWord:
    case dtInteger:
    case dtInt64: AppendInt(S, V.I); return;
    case dtColor:
      S += '#';
      AppendHex(S, SwapRB(static_cast<std::uint32_t>(V.I)));
      return;
    case dtHandle:
      S += '$';
      AppendHex(S, static_cast<std::uint64_t>(V.I));
      return;
    case dtSingle: {
      char Buf[32];
      auto R = std::to_chars(Buf, Buf + sizeof Buf, static_cast<float>(V.D[0]));
      if (V.D[0] == 0) {
        S += '0';
        return;
      }
      S.append(Buf, R.ptr);
      return;
    }
    case dtDouble: AppendDouble(S, V.D[0]); return;
    case dtPointer:
      S += '$';
      AppendHex(S, static_cast<std::uint64_t>(V.I), 16);
      return;
    case dtString: S += V.S; return;
    case dtPoint:
    case dtTF2DPoint:
    case dtTFPoint:
    case dtRect:
    case dtTF2DRect:
    case dtTFRect: {
      int N = V.DType == dtTFPoint ? (V.D[2] != 0 ? 3 : 2) : (V.DType <= dtTF2DPoint ? 2 : 4);
      double D[6];
      std::memcpy(D, V.D, sizeof D);
      if (V.DType == dtTFRect) {
        if (V.D[2] != 0 || V.D[5] != 0) {
          N = 6;
        } else {
          D[2] = V.D[3];
          D[3] = V.D[4];
        }
      }
      for (int I = 0; I < N; ++I) {
        if (I) S += ',';
        if (V.DType == dtPoint || V.DType == dtRect)
          AppendInt(S, static_cast<std::int64_t>(D[I]));
        else
          AppendDouble(S, D[I]);
      }
      return;
    }
    case dtVersion:
      AppendInt(S, V.I);
      S += '.';
      AppendInt(S, V.U);
      return;
    case dtColorCAD:
      if (V.I == 1) {
        S += "1;$";
        AppendHex(S, SwapRB(V.U) & 0xFFFFFF);
      } else {
        S += "0;";
        AppendInt(S, static_cast<std::int32_t>(V.U));
      }
      S += ';';
      S += V.S;
      return;
    default: return;
  }
}

int TqdData::Compare(const TqdData& Other) const {
  const int C = GetValueAsText().compare(Other.GetValueAsText());
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

// ---------------------------------------------------------------- readers

bool TqdData::TryAsBool(bool& V) const {
  if (FValue.DType == dtBool) return V = FValue.I != 0, true;
  const std::string T(TrimBlanks(GetValueAsText()));
  if (XMLEqualNoCase(T, "true") || T == "1") return V = true, true;
  if (XMLEqualNoCase(T, "false") || T == "0") return V = false, true;
  return false;
}

bool TqdData::TryAsInt64(std::int64_t& V) const {
  switch (FValue.DType) {
    case dtBool:
    case dtByte:
    case dtWord:
    case dtInteger:
    case dtInt64:
    case dtColor:
    case dtHandle: V = FValue.I; return true;
    default: break;
  }
  std::int64_t I;
  if (ParseInt64(GetValueAsText(), I)) return V = I, true;
  // A number written with a fraction does not silently become an integer.
  return false;
}

bool TqdData::TryAsInt(int& V) const {
  std::int64_t I;
  if (!TryAsInt64(I) || I < INT32_MIN || I > INT32_MAX) return false;
  V = static_cast<int>(I);
  return true;
}

bool TqdData::TryAsHandle(std::uint64_t& V) const {
  if (FValue.DType == dtHandle) return V = static_cast<std::uint64_t>(FValue.I), true;
  const std::string Text = GetValueAsText();
  std::string_view T = TrimBlanks(Text);
  if (!T.empty() && T.front() == '$') T.remove_prefix(1);
  std::uint64_t H;
  if (!ParseHex(T, H)) return false;
  V = H;
  return true;
}

bool TqdData::TryAsColor(std::uint32_t& V) const {
  if (FValue.DType == dtColor) return V = static_cast<std::uint32_t>(FValue.I), true;
  const std::string Text = GetValueAsText();
  std::string_view T = TrimBlanks(Text);
  if (T.empty() || T.front() != '#') return false;
  std::uint64_t H;
  if (!ParseHex(T.substr(1), H) || H > 0xFFFFFFFFu) return false;
  V = SwapRB(static_cast<std::uint32_t>(H));
  return true;
}

bool TqdData::TryAsDouble(double& V) const {
  if (FValue.DType == dtDouble || FValue.DType == dtSingle) return V = FValue.D[0], true;
  std::int64_t I;
  if (FValue.DType >= dtBool && FValue.DType <= dtInt64 && TryAsInt64(I)) return V = static_cast<double>(I), true;
  return XMLTextToDouble(GetValueAsText(), V);
}

bool TqdData::TryAsPoint(TqdXMLPoint& V) const {
  int D[2];
  if (ParseList(GetValueAsText(), D, 2) != 2) return false;
  V = {D[0], D[1]};
  return true;
}

bool TqdData::TryAsF2DPoint(TF2DPoint& V) const {
  if (FValue.DType == dtTF2DPoint || FValue.DType == dtTFPoint) return V = {FValue.D[0], FValue.D[1]}, true;
  double D[3];
  if (ParseList(GetValueAsText(), D, 3) < 2) return false;
  V = {D[0], D[1]};
  return true;
}

bool TqdData::TryAsFPoint(TFPoint& V) const {
  if (FValue.DType == dtTFPoint) return V = {FValue.D[0], FValue.D[1], FValue.D[2]}, true;
  double D[3] = {0, 0, 0};
  if (ParseList(GetValueAsText(), D, 3) < 2) return false;
  V = {D[0], D[1], D[2]};
  return true;
}

bool TqdData::TryAsRect(TqdXMLRect& V) const {
  int D[4];
  if (ParseList(GetValueAsText(), D, 4) != 4) return false;
  V = {D[0], D[1], D[2], D[3]};
  return true;
}

bool TqdData::TryAsF2DRect(TF2DRect& V) const {
  double D[4];
  if (ParseList(GetValueAsText(), D, 4) != 4) return false;
  V = {D[0], D[1], D[2], D[3]};
  return true;
}

bool TqdData::TryAsFRect(TFRect& V) const {
  if (FValue.DType == dtTFRect) {
    V = {FValue.D[0], FValue.D[1], FValue.D[2], FValue.D[3], FValue.D[4], FValue.D[5]};
    return true;
  }
  double D[6];
  const int N = ParseList(GetValueAsText(), D, 6);
  if (N == 4) return V = {D[0], D[1], 0, D[2], D[3], 0}, true;
  if (N == 6) return V = {D[0], D[1], D[2], D[3], D[4], D[5]}, true;
  return false;
}

bool TqdData::TryAsVersion(TqdXMLVersion& V) const {
  if (FValue.DType == dtVersion) return V = {static_cast<int>(FValue.I), static_cast<int>(FValue.U)}, true;
  const std::string T = GetValueAsText();
  const std::size_t Dot = T.find('.');
  std::int64_t A = 0, B = 0;
  if (!ParseInt64(std::string_view(T).substr(0, Dot), A)) return false;
  if (Dot != std::string::npos && !ParseInt64(std::string_view(T).substr(Dot + 1), B)) return false;
  if (A < 0 || A > INT32_MAX || B < 0 || B > INT32_MAX) return false;
  V = {static_cast<int>(A), static_cast<int>(B)};
  return true;
}

bool TqdData::TryAsColorCAD(TqdXMLColorCAD& V) const {
  if (FValue.DType == dtColorCAD) {
    V = {static_cast<int>(FValue.I), FValue.U, FValue.S};
    return true;
  }
  const std::string T = GetValueAsText();
  const std::size_t S1 = T.find(';');
  if (S1 == std::string::npos) return false;
  const std::size_t S2 = T.find(';', S1 + 1);
  std::string_view Kind = TrimBlanks(std::string_view(T).substr(0, S1));
  std::string_view Val = TrimBlanks(std::string_view(T).substr(S1 + 1, S2 == std::string::npos ? std::string::npos : S2 - S1 - 1));
  TqdXMLColorCAD C;
  if (S2 != std::string::npos) C.AlbumString = T.substr(S2 + 1);
  if (Kind == "0") {
    std::int64_t I;
    if (!ParseInt64(Val, I) || I < -32768 || I > 32767) return false;
    C.Active = 0;
    C.Color = static_cast<std::uint32_t>(static_cast<std::int32_t>(I));
  } else if (Kind == "1") {
    if (!Val.empty() && Val.front() == '$') Val.remove_prefix(1);
    std::uint64_t H;
    if (!ParseHex(Val, H) || H > 0xFFFFFF) return false;
    C.Active = 1;
    C.Color = SwapRB(static_cast<std::uint32_t>(H));
  } else {
    return false;
  }
  V = std::move(C);
  return true;
}

bool TqdData::GetValueAsBool() const {
  bool V = false;
  return TryAsBool(V) && V;
}
std::uint8_t TqdData::GetValueAsByte() const {
  std::int64_t V = 0;
  return TryAsInt64(V) && V >= 0 && V <= 255 ? static_cast<std::uint8_t>(V) : 0;
}
std::uint16_t TqdData::GetValueAsWord() const {
  std::int64_t V = 0;
  return TryAsInt64(V) && V >= 0 && V <= 65535 ? static_cast<std::uint16_t>(V) : 0;
}
int TqdData::GetValueAsInt() const {
  int V = 0;
  return TryAsInt(V) ? V : 0;
}
std::int64_t TqdData::GetValueAsInt64() const {
  std::int64_t V = 0;
  return TryAsInt64(V) ? V : 0;
}
std::uint32_t TqdData::GetValueAsColor() const {
  std::uint32_t V = 0;
  return TryAsColor(V) ? V : 0;
}
std::uint64_t TqdData::GetValueAsHandle() const {
  std::uint64_t V = 0;
  return TryAsHandle(V) ? V : 0;
}
float TqdData::GetValueAsSingle() const {
  double V = 0;
  return TryAsDouble(V) && std::fabs(V) <= 3.4e38 ? static_cast<float>(V) : 0.0f;
}
double TqdData::GetValueAsDouble() const {
  double V = 0;
  return TryAsDouble(V) ? V : 0;
}
const void* TqdData::GetValueAsPointer() const {
  return FValue.DType == dtPointer ? reinterpret_cast<const void*>(static_cast<std::uintptr_t>(FValue.I)) : nullptr;
}
TqdXMLPoint TqdData::GetValueAsPoint() const {
  TqdXMLPoint V;
  return TryAsPoint(V) ? V : TqdXMLPoint{};
}
TF2DPoint TqdData::GetValueAsF2DPoint() const {
  TF2DPoint V;
  return TryAsF2DPoint(V) ? V : TF2DPoint{};
}
TFPoint TqdData::GetValueAsFPoint() const {
  TFPoint V;
  return TryAsFPoint(V) ? V : TFPoint{};
}
TqdXMLRect TqdData::GetValueAsRect() const {
  TqdXMLRect V;
  return TryAsRect(V) ? V : TqdXMLRect{};
}
TF2DRect TqdData::GetValueAsF2DRect() const {
  TF2DRect V;
  return TryAsF2DRect(V) ? V : TF2DRect{};
}
TFRect TqdData::GetValueAsFRect() const {
  TFRect V;
  return TryAsFRect(V) ? V : TFRect{};
}
TqdXMLVersion TqdData::GetValueAsVersion() const {
  TqdXMLVersion V;
  return TryAsVersion(V) ? V : TqdXMLVersion{};
}
TqdXMLColorCAD TqdData::GetValueAsColorCAD() const {
  TqdXMLColorCAD V;
  return TryAsColorCAD(V) ? V : TqdXMLColorCAD{};
}

// ---------------------------------------------------------------- attribute table

namespace {

const TqdXMLAttribInfo cNoAttrib{nullptr, dtUndefined, nullptr};

struct TAttribTable {
  const TqdXMLAttribInfo* Entries = nullptr;
  int Count = 0;
  // Lower-cased names sorted, each with the first id that has it.
  std::vector<std::pair<std::string, int>> Sorted;
};

TAttribTable& Table() {
  static TAttribTable T;
  return T;
}

}  // namespace

void XMLSetAttribTable(const TqdXMLAttribInfo* ATable, int ACount) {
  TAttribTable& T = Table();
  if (T.Entries == ATable && T.Count == ACount) return;
  T.Entries = ATable;
  T.Count = ATable ? ACount : 0;
  T.Sorted.clear();
  for (int I = 1; I < T.Count; ++I)
    if (I != cnstXMLClassNameId && ATable[I].Name) T.Sorted.emplace_back(XMLLowerText(ATable[I].Name), I);
  std::stable_sort(T.Sorted.begin(), T.Sorted.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  T.Sorted.erase(std::unique(T.Sorted.begin(), T.Sorted.end(),
                             [](const auto& A, const auto& B) { return A.first == B.first; }),
                 T.Sorted.end());
}

int XMLAttribCount() { return Table().Count; }

const TqdXMLAttribInfo& XMLAttribInfo(int Id) {
  const TAttribTable& T = Table();
  return Id > 0 && Id < T.Count && Id != cnstXMLClassNameId ? T.Entries[Id] : cNoAttrib;
}

const char* XMLAttribName(int Id) { return XMLAttribInfo(Id).Name; }

int XMLAttribIdByName(std::string_view AName) {
  if (AName.empty() || AName.size() > 64) return 0;
  char Buf[64];
  for (std::size_t I = 0; I < AName.size(); ++I) {
    const char C = AName[I];
    Buf[I] = C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C;
  }
  const std::string_view Key(Buf, AName.size());
  const auto& V = Table().Sorted;
  auto It = std::lower_bound(V.begin(), V.end(), Key, [](const auto& E, std::string_view K) { return E.first < K; });
  if (It != V.end() && It->first == Key) return It->second;
  if (Key.size() > 3 && Key.substr(0, 3) == "vnx") return cnstXMLClassNameId;
  return 0;
}
