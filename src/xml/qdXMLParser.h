#pragma once
// The library's XML node model: typed values, nodes (elements, attributes, text,
// comments, documents), a parser and writer, node search, and the fixed table of
// attribute names through which drawing items describe themselves.
//
// Hostile text: nesting is capped at cnstXMLMaxDepth (the parse fails with the
// position), only the five predefined entities and numeric references to valid code
// points are expanded (any other reference stays as text, so no declared entity ever
// grows the input), and no text is ever turned into a pointer. Every walk over a tree
// (search, writing, copying, freeing) works with an explicit stack.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qdConsts.h"
#include "qdError.h"

class TqdListObject;
class TqdNode;

class EqdXMLError : public EqdError {
public:
  using EqdError::EqdError;
};

// Elements nest at most this deep, in parsed text and in the walks over item trees.
inline constexpr int cnstXMLMaxDepth = 256;

// ---------------------------------------------------------------- value types

enum TqdDataType {
  dtUndefined,
  dtBool,
  dtByte,
  dtWord,
  dtInteger,
  dtInt64,
  dtColor,
  dtHandle,
  dtSingle,
  dtDouble,
  dtPointer,
  dtString,
  dtPoint,
  dtTF2DPoint,
  dtTFPoint,
  dtRect,
  dtTF2DRect,
  dtTFRect,
  dtVersion,
  dtColorCAD,
  dtEntHandle,
  dtEntName,
  dtList,
  dtListItem,
  dtStringInternal,
  dtBase64,
  dtSingles,
  dtFPoints2DOr3D,
  dtProcedure,
  dtParameters,
  dtGuid
};
inline constexpr int cnstDataTypeCount = dtGuid + 1;

// "Boolean", "Double", ... and a one-line description of the type.
const char* DataTypeName(TqdDataType T);
const char* DataTypeDescription(TqdDataType T);

// Integer point and rectangle (window coordinates).
struct TqdXMLPoint {
  int X = 0, Y = 0;
  friend bool operator==(const TqdXMLPoint&, const TqdXMLPoint&) = default;
};
struct TqdXMLRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  friend bool operator==(const TqdXMLRect&, const TqdXMLRect&) = default;
};
// An entity colour as the XML form carries it: kind 0 index (Color the index), kind 1
// RGB (Color 0x00BBGGRR, written with red most significant), and the album name.
struct TqdXMLColorCAD {
  int Active = 0;
  std::uint32_t Color = 0;
  std::string AlbumString;
  friend bool operator==(const TqdXMLColorCAD&, const TqdXMLColorCAD&) = default;
};
struct TqdXMLVersion {
  int Major = 0, Minor = 0;
  friend bool operator==(const TqdXMLVersion&, const TqdXMLVersion&) = default;
};

// ASCII case folding, as names of attributes and elements compare.
bool XMLEqualNoCase(std::string_view A, std::string_view B);
std::string XMLLowerText(std::string_view S);

// Number text in the "." form whatever the locale: shortest general form with at most
// 15 significant digits.
std::string XMLDoubleText(double V);
// Reads a whole string as a finite double ("." separator, surrounding blanks allowed).
bool XMLTextToDouble(std::string_view S, double& V);

struct TqdDataValue {
  TqdDataType DType = dtUndefined;
  std::int64_t I = 0;      // bool, integers, colour, handle, pointer, colour kind
  std::uint32_t U = 0;     // colour value of a ColorCAD, version minor
  double D[6] = {};        // points and rectangles, doubles
  std::string S;           // strings, album names
};

// A typed value. Setting stores the value with its type; reading it as text gives the
// type's text form; reading it as another type converts through that text form.
class TqdData {
public:
  TqdData() = default;
  const TqdDataValue& Value() const { return FValue; }
  TqdDataType GetValueType() const { return FValue.DType; }
  void Clear() { FValue = {}; }
  void Assign(const TqdData& Src) { FValue = Src.FValue; }
  // Compares the text forms (two values that write the same are equal).
  int Compare(const TqdData& Other) const;

  void SetValueAsBool(bool V);
  void SetValueAsByte(std::uint8_t V);
  void SetValueAsWord(std::uint16_t V);
  void SetValueAsInt(int V);
  void SetValueAsInt64(std::int64_t V);
  // A platform colour 0x00BBGGRR (the role codes above 24 bits are kept).
  void SetValueAsColor(std::uint32_t V);
  void SetValueAsHandle(std::uint64_t V);
  void SetValueAsSingle(float V);
  void SetValueAsDouble(double V);
  // Kept for display only (16 hexadecimal digits); see GetValueAsPointer.
  void SetValueAsPointer(const void* V);
  void SetValueAsStr(std::string_view V);
  void SetValueAsText(std::string_view V) { SetValueAsStr(V); }
  void SetValueAsPoint(const TqdXMLPoint& V);
  void SetValueAsF2DPoint(const TF2DPoint& V);
  void SetValueAsFPoint(const TFPoint& V);
  void SetValueAsRect(const TqdXMLRect& V);
  void SetValueAsF2DRect(const TF2DRect& V);
  void SetValueAsFRect(const TFRect& V);
  void SetValueAsVersion(const TqdXMLVersion& V);
  void SetValueAsColorCAD(const TqdXMLColorCAD& V);
  // A value of one of the types without a text form of their own (stored as a string
  // under that type; writes nothing).
  void SetValueAsType(TqdDataType T, std::string_view V = {});

  std::string GetValueAsText() const;
  // Appends the text form to Out (escaped for XML markup with AEscape).
  void AppendValueAsText(std::string& Out, bool AEscape = false) const;
  std::string GetValueAsStr() const { return GetValueAsText(); }
  // The Try forms answer false (and leave V alone) when the text does not read as the
  // type; the plain forms answer the type's zero then.
  bool TryAsBool(bool& V) const;
  bool TryAsInt64(std::int64_t& V) const;
  bool TryAsInt(int& V) const;
  bool TryAsHandle(std::uint64_t& V) const;
  bool TryAsColor(std::uint32_t& V) const;
  bool TryAsDouble(double& V) const;
  bool TryAsPoint(TqdXMLPoint& V) const;
  bool TryAsF2DPoint(TF2DPoint& V) const;
  bool TryAsFPoint(TFPoint& V) const;
  bool TryAsRect(TqdXMLRect& V) const;
  bool TryAsF2DRect(TF2DRect& V) const;
  bool TryAsFRect(TFRect& V) const;
  bool TryAsVersion(TqdXMLVersion& V) const;
  bool TryAsColorCAD(TqdXMLColorCAD& V) const;

  bool GetValueAsBool() const;
  std::uint8_t GetValueAsByte() const;
  std::uint16_t GetValueAsWord() const;
  int GetValueAsInt() const;
  std::int64_t GetValueAsInt64() const;
  std::uint32_t GetValueAsColor() const;
  std::uint64_t GetValueAsHandle() const;
  float GetValueAsSingle() const;
  double GetValueAsDouble() const;
  // Only a pointer stored by SetValueAsPointer comes back; text never becomes one.
  const void* GetValueAsPointer() const;
  TqdXMLPoint GetValueAsPoint() const;
  TF2DPoint GetValueAsF2DPoint() const;
  TFPoint GetValueAsFPoint() const;
  TqdXMLRect GetValueAsRect() const;
  TF2DRect GetValueAsF2DRect() const;
  TFRect GetValueAsFRect() const;
  TqdXMLVersion GetValueAsVersion() const;
  TqdXMLColorCAD GetValueAsColorCAD() const;

private:
  void AppendTextForm(std::string& S) const;
  TqdDataValue FValue;
};

// ---------------------------------------------------------------- attribute table

// Node names listed in a table are stored as their index. The table belongs to the
// layer that owns the names (the database's attribute rows); this layer only looks
// names up in it. Index 0 is "unknown"; cnstXMLClassNameId is the code of class
// names (the "vnx" form), never a table entry.
inline constexpr int cnstXMLClassNameId = 224;

struct TqdXMLAttribInfo {
  const char* Name;
  TqdDataType Type;
  const char* Description;
};

// Installs the table: ACount entries, entry 0 empty. Call before any node is named;
// a second call with the same table is harmless.
void XMLSetAttribTable(const TqdXMLAttribInfo* ATable, int ACount);
// Entries of the installed table (0 when none is installed).
int XMLAttribCount();

// Null name for 0, cnstXMLClassNameId and ids out of range.
const TqdXMLAttribInfo& XMLAttribInfo(int Id);
const char* XMLAttribName(int Id);
// Without regard to case; the first id of a name listed twice; cnstXMLClassNameId
// for a name of the "vnx" form that is not an attribute; 0 for anything else.
int XMLAttribIdByName(std::string_view AName);

// ---------------------------------------------------------------- nodes

enum TqdNodeType {
  ntUndefined,
  ntElement,
  ntAttribute,
  ntText,
  ntCData,
  ntEntityRef,
  ntEntity,
  ntProcessingInstr,
  ntComment,
  ntDocument,
  ntDocType,
  ntDocFragment,
  ntNotation
};

struct TqdNodePosition {
  int Line = 0, Column = 0;  // 1-based; 0 when the node was not parsed
};

class TqdNodeSample {
public:
  TqdNodeSample() = default;
  TqdNodeSample(const TqdNodeSample&) = delete;
  TqdNodeSample& operator=(const TqdNodeSample&) = delete;
  virtual ~TqdNodeSample() = default;

  TqdNodePosition Position;
  TqdListObject* Entity = nullptr;  // the database object the node was made from
  void* UserData = nullptr;
  TqdNode* Owner() const { return FOwner; }

  // The name is either an attribute-table id (stored once for all nodes) or a string.
  std::string_view GetName() const;
  void SetName(std::string_view AName);
  int NameIndex() const { return FNameIndex; }
  void SetNameIndex(int AId);
  const std::string& GetPrefix() const { return FPrefix; }
  void SetPrefix(std::string_view P) { FPrefix.assign(P); }
  std::string GetFullName() const;
  void SetFullName(std::string_view AName);

  virtual TqdData* ValueData() { return nullptr; }
  const TqdData* ValueData() const { return const_cast<TqdNodeSample*>(this)->ValueData(); }
  std::string GetText() const { return ValueData() ? ValueData()->GetValueAsText() : std::string(); }
  void SetText(std::string_view V) {
    if (TqdData* D = ValueData()) D->SetValueAsStr(V);
  }
  const TqdData* GetValue() const { return ValueData(); }
  void SetValue(const TqdData& V) {
    if (TqdData* D = ValueData()) D->Assign(V);
  }
  bool AsBool() const { return ValueData() && ValueData()->GetValueAsBool(); }
  double AsDouble() const { return ValueData() ? ValueData()->GetValueAsDouble() : 0; }
  int AsInt() const { return ValueData() ? ValueData()->GetValueAsInt() : 0; }
  std::int64_t AsInt64() const { return ValueData() ? ValueData()->GetValueAsInt64() : 0; }
  std::string AsStr() const { return GetText(); }
  TFPoint AsFPoint() const { return ValueData() ? ValueData()->GetValueAsFPoint() : TFPoint{}; }
  TF2DRect AsF2DRect() const { return ValueData() ? ValueData()->GetValueAsF2DRect() : TF2DRect{}; }
  TFRect AsFRect() const { return ValueData() ? ValueData()->GetValueAsFRect() : TFRect{}; }
  const void* AsPointer() const { return ValueData() ? ValueData()->GetValueAsPointer() : nullptr; }
  std::uint64_t AsHandle() const { return ValueData() ? ValueData()->GetValueAsHandle() : 0; }

  virtual bool HasAttributeNodes() const { return false; }
  virtual bool HasChildNodes() const { return false; }
  bool HasPosition() const { return Position.Line > 0; }
  // Names (case-insensitive) and values; negative, zero or positive.
  virtual int Compare(const TqdNodeSample& Other) const;

protected:
  friend class TqdNode;
  TqdNode* FOwner = nullptr;
  int FNameIndex = 0;
  std::string FName;
  std::string FPrefix;
};

class TqdNodeComment : public TqdNodeSample {
public:
  TqdData FValue;
  TqdData* ValueData() override { return &FValue; }
};

class TqdNodeAttrib : public TqdNodeComment {};

// A list of owned nodes with an optional quick-find index by name.
template <class T> class TqdNodeList {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  T* operator[](int I) const {
    return I >= 0 && I < Count() ? FItems[static_cast<std::size_t>(I)].get() : nullptr;
  }
  bool CaseSensitive = false;
  // The index is built on the first lookup after a change.
  bool QuickFind = false;
  T* FindByName(std::string_view AName) const;
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  friend class TqdNode;
  friend class TqdNodeSample;
  std::vector<std::unique_ptr<T>> FItems;
  mutable std::unordered_map<std::string, T*> FIndex;
  mutable bool FIndexValid = false;
};

class TqdNode : public TqdNodeAttrib {
public:
  explicit TqdNode(TqdNodeType AType = ntElement) : Type(AType) {}
  explicit TqdNode(std::string_view AName, TqdNodeType AType = ntElement) : Type(AType) { SetName(AName); }
  // Frees the subtree without recursion.
  ~TqdNode() override;

  TqdNodeType Type;
  int Flags = 0;
  TqdData Text;
  TqdData* ValueData() override { return &Text; }
  const TqdNodeList<TqdNodeAttrib>& Attributes() const { return FAttributes; }
  const TqdNodeList<TqdNode>& Childs() const { return FChilds; }
  TqdNodeList<TqdNodeAttrib>& Attributes() { return FAttributes; }
  TqdNodeList<TqdNode>& Childs() { return FChilds; }

  TqdNodeAttrib* AddAttrib(std::unique_ptr<TqdNodeAttrib>&& A);
  TqdNodeAttrib* AddAttribNV(std::string_view AName, const TqdData& AValue);
  // By attribute id (the name is stored once, in the table).
  TqdNodeAttrib* AddAttribId(int AId, const TqdData& AValue);
  // Refuses null and a node that already has an owner (no re-parenting, no cycles);
  // a refused node stays with the caller.
  TqdNode* AddChild(std::unique_ptr<TqdNode>&& ANode);
  TqdNode* AddChildNV(std::string_view AName, const TqdData& AValue);
  TqdNode* AddChildNV(std::string_view AName) { return AddChildNV(AName, TqdData()); }
  std::unique_ptr<TqdNodeAttrib> RemoveAttrib(int Index);
  std::unique_ptr<TqdNode> RemoveChild(int Index);
  bool RemoveAttributeByName(std::string_view AName);
  TqdNodeAttrib* GetAttributeByName(std::string_view AName) const { return FAttributes.FindByName(AName); }
  TqdNode* GetChildByName(std::string_view AName) const { return FChilds.FindByName(AName); }
  TqdNodeAttrib* GetAttributeNode(int Index) const { return FAttributes[Index]; }
  int GetAttributeNodesCount() const { return FAttributes.Count(); }
  TqdNode* GetChildNode(int Index) const { return FChilds[Index]; }
  int GetChildNodesCount() const { return FChilds.Count(); }
  // The first child element with attribute AName of text AValue.
  TqdNode* GetNodeByAttribValue(std::string_view AName, std::string_view AValue) const;
  bool HasAttributeNodes() const override { return FAttributes.Count() > 0; }
  bool HasChildNodes() const override { return FChilds.Count() > 0; }
  void Clear();
  // A deep copy of Source (name, values, attributes, children); false when Source was
  // deeper than cnstXMLMaxDepth (the copy stops there).
  bool Assign(const TqdNode& Source);
  int Compare(const TqdNodeSample& Other) const override;

private:
  TqdNodeList<TqdNodeAttrib> FAttributes;
  TqdNodeList<TqdNode> FChilds;
};

class TqdNodeCDATA : public TqdNode {
public:
  TqdNodeCDATA() : TqdNode(ntCData) {}
};
class TqdNodeDocument : public TqdNode {
public:
  TqdNodeDocument() : TqdNode(ntDocument) {}
};
// The declaration's text is kept as it was, never interpreted.
class TqdNodeDocType : public TqdNode {
public:
  TqdNodeDocType() : TqdNode(ntDocType) {}
};
class TqdNodeEntity : public TqdNode {
public:
  TqdNodeEntity() : TqdNode(ntEntity) {}
};

// ---------------------------------------------------------------- search

// Pre-order walk over a subtree (the root first), without recursion.
class TqdNodeIterator {
public:
  explicit TqdNodeIterator(const TqdNode& ARoot, bool AIncludeRoot = true);
  // Null at the end.
  TqdNode* Next();

private:
  std::vector<std::pair<const TqdNode*, int>> FStack;
  const TqdNode* FFirst = nullptr;
};

// Finds nodes that look like a sample: the same name (when the sample has one) and
// every attribute of the sample with the same text.
class TqdFindByNode {
public:
  explicit TqdFindByNode(const TqdNode& ASample, bool AFindAll = false) : FSample(ASample), FFindAll(AFindAll) {}
  bool Matches(const TqdNode& ANode) const;
  // The first match (or every match with AFindAll) below and including ARoot.
  std::vector<TqdNode*> Find(const TqdNode& ARoot) const;

private:
  const TqdNode& FSample;
  bool FFindAll;
};

// ---------------------------------------------------------------- parser and writer

enum TqdXMLEncoding { xeUTF8, xeUTF16LE, xeUTF16BE, xeLatin1 };

struct TqdFindOptions {
  bool CaseSensitive = false;
  bool Recursive = true;
  bool FindAll = false;
};

class TqdParser {
public:
  TqdParser();
  TqdParser(const TqdParser&) = delete;
  TqdParser& operator=(const TqdParser&) = delete;

  // The document node whose children are the top-level nodes.
  TqdNode& ROOT() { return *FRoot; }
  const TqdNode& ROOT() const { return *FRoot; }
  void Clear();

  // Reads XML text (BOM or declaration picks UTF-8, UTF-16 or Latin-1). False on an
  // error; DebugInfo() then says what and where, and ROOT keeps what was read before.
  bool LoadFromString(std::string_view AText);
  bool LoadFromStream(std::istream& AStream);
  std::string SaveToString() const;
  void SaveToStream(std::ostream& AStream) const;
  // One string per line of the saved text.
  std::vector<std::string> SaveToStrings() const;
  std::string XMLString() const { return SaveToString(); }
  bool SetXMLString(std::string_view S) { return LoadFromString(S); }

  TqdXMLEncoding SaveEncoding = xeUTF8;
  bool Indent = true;
  const std::string& DebugInfo() const { return FDebugInfo; }
  // Called every few hundred elements with the byte position and the size.
  std::function<void(std::size_t APos, std::size_t ASize)> OnProgress;
  // Answers true to stop a long parse (what was read is kept).
  std::function<bool()> Stopped;

  // Searches the nodes of AList (and, with Recursive, their subtrees) by name.
  static std::vector<TqdNode*> FindNodeByName(std::string_view AName, const TqdNodeList<TqdNode>& AList,
                                              const TqdFindOptions& AOptions = {});

private:
  std::unique_ptr<TqdNode> FRoot;
  std::string FDebugInfo;
};

// Writes one node (and its subtree) as XML text in UTF-8.
void WriteXMLNode(std::string& Out, const TqdNode& ANode, bool AIndent = true, int ALevel = 0);
// The start tag of an element with its attributes (AClose: as an empty element "/>").
void WriteXMLStartTag(std::string& Out, const TqdNode& ANode, bool AClose);
// Escapes &, <, >, " and control characters for text and attribute values.
void AppendXMLEscaped(std::string& Out, std::string_view S);
