#include "qdDWGUtils.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

struct TRelease {
  const char* Text;
  TqdDWGVersion Version;
  const char* Release;
};

// The version strings of the releases this reader family knows. AC1009 is written
// by R11 and R12 alike.
constexpr TRelease cnstReleases[] = {
    {"AC2.10", acR09, "R2.10"}, {"AC2.21", acR09, "R2.21"}, {"AC2.22", acR09, "R2.22"},
    {"AC1001", acR09, "R2.2"},  {"AC1002", acR09, "R2.5"},  {"AC1003", acR09, "R2.6"},
    {"AC1004", acR09, "R9"},    {"AC1006", acR10, "R10"},   {"AC1009", acR12, "R11/R12"},
    {"AC1012", acR13, "R13"},   {"AC1013", acR14, "R14"},   {"AC1014", acR14, "R14"},
    {"AC1015", acR2000, "R2000"}, {"AC1018", acR2004, "R2004"}, {"AC1021", acR2007, "R2007"},
    {"AC1024", acR2010, "R2010"}, {"AC1027", acR2013, "R2013"}, {"AC1032", acR2018, "R2018"},
};

} // namespace

TdwgVersionInfo DWGVersionFromBytes(const void* AData, std::size_t ASize) {
  TdwgVersionInfo R;
  const auto* P = static_cast<const unsigned char*>(AData);
  const std::size_t N = AData ? std::min<std::size_t>(ASize, 6) : 0;
  for (std::size_t I = 0; I < N; ++I) R.Text.push_back(P[I] >= 0x20 && P[I] < 0x7F ? static_cast<char>(P[I]) : '?');
  R.Class = vcOld;
  if (N < 6) return R;
  const std::string_view Prefix(reinterpret_cast<const char*>(P), 4);
  const int Number = (P[4] & 0x0F) * 10 + (P[5] & 0x0F);
  const bool AC10 = Prefix == "AC10";
  if (!AC10 && Prefix != "AC2.") return R;
  for (const TRelease& Rel : cnstReleases) {
    const std::string_view T(Rel.Text);
    if (T.substr(0, 4) != Prefix) continue;
    if ((T[4] - '0') * 10 + (T[5] - '0') != Number) continue;
    R.Class = vcSupported;
    R.Version = Rel.Version;
    R.Release = Rel.Release;
    R.Text = Rel.Text;  // the canonical spelling (only the low nibbles counted)
    return R;
  }
  if (AC10 && Number > 1) R.Class = vcNew;
  return R;
}

std::string UnsupportedVersionMessage(const TdwgVersionInfo& AInfo) {
  // Every DWG release starts with "AC"; anything else is some other file.
  if (AInfo.Class == vcOld && AInfo.Text.rfind("AC", 0) != 0)
    return "Not a DWG file: it does not start with a DWG version ID";
  return std::string(AInfo.Class == vcNew ? "Unsupported new DWG version ID:" : "Unsupported old DWG version ID:") +
         " \"" + AInfo.Text + "\"";
}

std::string DWGCutShortMessage(std::uint64_t AFileSize, const std::string& AWhat) {
  std::string M = "DWG file is cut short: it ends at byte " + std::to_string(AFileSize);
  if (!AWhat.empty()) M += ", before " + AWhat;
  return M;
}

std::string NotSupportedYetMessage(const TdwgVersionInfo& AInfo) {
  return "DWG " + AInfo.Text + " (" + AInfo.Release + ") is not supported yet";
}

TdwgTypeInfo DWGObjectType(int AType) {
  struct TRow {
    int Type;
    const char* Name;
    char Kind;  // 'e' entity, 's' sub-entity, 'o' object
  };
  static constexpr TRow cnstTypes[] = {
      {0x01, "TEXT", 'e'},         {0x02, "ATTRIB", 's'},      {0x03, "ATTDEF", 'e'},      {0x04, "BLOCK", 's'},
      {0x05, "ENDBLK", 's'},       {0x06, "SEQEND", 's'},      {0x07, "INSERT", 'e'},      {0x08, "INSERT", 'e'},
      {0x0A, "VERTEX", 's'},       {0x0B, "VERTEX", 's'},      {0x0C, "VERTEX", 's'},      {0x0D, "VERTEX", 's'},
      {0x0E, "VERTEX", 's'},       {0x0F, "POLYLINE", 'e'},    {0x10, "POLYLINE", 'e'},    {0x11, "ARC", 'e'},
      {0x12, "CIRCLE", 'e'},       {0x13, "LINE", 'e'},        {0x14, "DIMENSION", 'e'},   {0x15, "DIMENSION", 'e'},
      {0x16, "DIMENSION", 'e'},    {0x17, "DIMENSION", 'e'},   {0x18, "DIMENSION", 'e'},   {0x19, "DIMENSION", 'e'},
      {0x1A, "DIMENSION", 'e'},    {0x1B, "POINT", 'e'},       {0x1C, "3DFACE", 'e'},      {0x1D, "POLYLINE", 'e'},
      {0x1E, "POLYLINE", 'e'},     {0x1F, "SOLID", 'e'},       {0x20, "TRACE", 'e'},       {0x21, "SHAPE", 'e'},
      {0x22, "VIEWPORT", 'e'},     {0x23, "ELLIPSE", 'e'},     {0x24, "SPLINE", 'e'},      {0x25, "REGION", 'e'},
      {0x26, "3DSOLID", 'e'},      {0x27, "BODY", 'e'},        {0x28, "RAY", 'e'},         {0x29, "XLINE", 'e'},
      {0x2A, "DICTIONARY", 'o'},   {0x2B, "OLEFRAME", 'e'},    {0x2C, "MTEXT", 'e'},       {0x2D, "LEADER", 'e'},
      {0x2E, "TOLERANCE", 'e'},    {0x2F, "MLINE", 'e'},       {0x30, "BLOCK_CONTROL", 'o'}, {0x31, "BLOCK_HEADER", 'o'},
      {0x32, "LAYER_CONTROL", 'o'}, {0x33, "LAYER", 'o'},      {0x34, "STYLE_CONTROL", 'o'}, {0x35, "STYLE", 'o'},
      {0x38, "LTYPE_CONTROL", 'o'}, {0x39, "LTYPE", 'o'},      {0x3C, "VIEW_CONTROL", 'o'}, {0x3D, "VIEW", 'o'},
      {0x3E, "UCS_CONTROL", 'o'},  {0x3F, "UCS", 'o'},         {0x40, "VPORT_CONTROL", 'o'}, {0x41, "VPORT", 'o'},
      {0x42, "APPID_CONTROL", 'o'}, {0x43, "APPID", 'o'},      {0x44, "DIMSTYLE_CONTROL", 'o'}, {0x45, "DIMSTYLE", 'o'},
      {0x46, "VX_CONTROL", 'o'},   {0x47, "VX_TABLE_RECORD", 'o'}, {0x48, "GROUP", 'o'}, {0x49, "MLINESTYLE", 'o'},
      {0x4A, "OLE2FRAME", 'e'},    {0x4C, "LONG_TRANSACTION", 'o'}, {0x4D, "LWPOLYLINE", 'e'}, {0x4E, "HATCH", 'e'},
      {0x4F, "XRECORD", 'o'},      {0x50, "ACDBPLACEHOLDER", 'o'}, {0x51, "VBA_PROJECT", 'o'}, {0x52, "LAYOUT", 'o'},
      {0x1F2, "ACAD_PROXY_ENTITY", 'e'}, {0x1F3, "ACAD_PROXY_OBJECT", 'o'},
  };
  for (const TRow& R : cnstTypes)
    if (R.Type == AType) return {R.Name, R.Kind != 'o', R.Kind == 's'};
  return {};
}

std::size_t TqdObjectsMap::Sort() {
  // Stable: among equal handles the order read stays, so the last one read wins.
  // Maps are nearly always written in handle order: checking costs far less than sorting.
  auto Less = [](const TdwgMapElement& A, const TdwgMapElement& B) { return A.Handle < B.Handle; };
  if (!std::is_sorted(FItems.begin(), FItems.end(), Less)) std::stable_sort(FItems.begin(), FItems.end(), Less);
  std::size_t Out = 0;
  for (std::size_t I = 0; I < FItems.size(); ++I) {
    if (I + 1 < FItems.size() && FItems[I + 1].Handle == FItems[I].Handle) continue;
    FItems[Out++] = FItems[I];
  }
  const std::size_t Dropped = FItems.size() - Out;
  FItems.resize(Out);
  return Dropped;
}

std::ptrdiff_t TqdObjectsMap::IndexOf(std::uint64_t AHandle) const {
  auto It = std::lower_bound(FItems.begin(), FItems.end(), AHandle,
                             [](const TdwgMapElement& E, std::uint64_t H) { return E.Handle < H; });
  if (It == FItems.end() || It->Handle != AHandle) return -1;
  return It - FItems.begin();
}

std::size_t TqdObjectsMap::LoadedCount() const {
  return static_cast<std::size_t>(
      std::count_if(FItems.begin(), FItems.end(), [](const TdwgMapElement& E) { return E.Obj != nullptr; }));
}

std::string DeferredObjectErrorMessage(const std::string& AClassName, std::uint64_t AHandle) {
  if (AHandle == 0) return AClassName + ".";
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%llX", static_cast<unsigned long long>(AHandle));
  return AClassName + ": Entity handle = $" + Buf + ".";
}
