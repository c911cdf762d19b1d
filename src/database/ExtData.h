#pragma once
// Extended data (XDATA) of one entity and one application, and the hyperlink form.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qdConsts.h"

enum TqdExtDataType {
  edtUndefined,
  edtByte,
  edtInt16,
  edtInt,
  edtInt64,
  edtSingle,
  edtDouble,
  edtString,
  edtF2DPoint,
  edtF3DPoint,
  edtBinary,
  edtObject
};

struct TqdExtData {
  TqdExtDataType EType = edtUndefined;
  std::int16_t ECode = 0;
  // One of these holds the value, according to EType.
  std::int64_t EInt = 0;
  double EDouble = 0;
  TFPoint EPoint;
  // Strings as UTF-8; binary chunks as one length byte followed by the bytes.
  std::string EString;
  void* EObject = nullptr;
};

inline constexpr std::size_t cnstMaxExtDataString = 255;
inline constexpr std::size_t cnstMaxExtDataBinary = 255;

class TqdCADExtendedData {
public:
  // The accessors take a group code instead of an index (the first item with that code).
  bool UseCode = false;

  int Count() const { return static_cast<int>(FItems.size()); }
  bool Sorted() const { return FSorted; }
  // Keeps the list ordered by code from now on (equal codes keep their order).
  void SetSorted(bool Value);
  void Clear() { FItems.clear(); }
  void Delete(int Index);
  const std::vector<TqdExtData>& Items() const { return FItems; }

  // Each returns the index of the new item.
  int AddByte(int Code, std::uint8_t V);
  int AddInt16(int Code, std::int16_t V);
  int AddInt(int Code, std::int32_t V);
  int AddInt64(int Code, std::int64_t V);
  int AddSingle(int Code, float V);
  int AddDouble(int Code, double V);
  // Cut to 255 characters (code points, never inside one).
  int AddString(int Code, std::string_view V);
  int AddF2DPoint(int Code, const TF2DPoint& V);
  int AddPoint(int Code, const TFPoint& V);
  // Cut to 255 bytes: a longer length would not fit its one-byte prefix.
  int AddBinary(int Code, std::string_view Bytes);
  int AddObject(int Code, void* V);

  // Reads of a missing item give neutral values (0, "", (0,0,0), nullptr).
  TqdExtDataType DataType(int IndexOrCode) const;
  int DataCode(int IndexOrCode) const;
  std::int64_t DataInt(int IndexOrCode) const;
  double DataDouble(int IndexOrCode) const;
  // Empty for an item that is not a string.
  std::string DataString(int IndexOrCode) const;
  TFPoint DataPoint(int IndexOrCode) const;
  // The bytes of a binary item, without the length prefix.
  std::string DataBinary(int IndexOrCode) const;
  void* DataObject(int IndexOrCode) const;

  // First item a string with code 1001 equal to AName, ignoring case.
  bool IsEqualName(std::string_view AName) const;
  // Second item a string with code 1000 equal to AName, ignoring case.
  bool IsEqualSubName(std::string_view AName) const;

private:
  int Add(TqdExtData Item);
  const TqdExtData* Find(int IndexOrCode) const;
  std::vector<TqdExtData> FItems;
  bool FSorted = false;
};

// ASCII case-insensitive comparison of names (bytes above 127 compare exactly).
bool SameNameText(std::string_view A, std::string_view B);
// <0, 0, >0 ignoring ASCII case.
int CompareNameText(std::string_view A, std::string_view B);
std::string UpperNameText(std::string_view S);

// Hyperlinks travel as extended data of the application "PE_URL".
inline constexpr const char* cnstHyperLinkAppName = "PE_URL";
TqdCADExtendedData HyperLinkToExtData(std::string_view HyperLink);
// Empty when the data is not a "PE_URL" record.
std::string HyperLinkFromExtData(const TqdCADExtendedData& Data);
