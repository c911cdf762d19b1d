#pragma once
// The class rows: every attribute a class adds to its ancestors', described once.
// A row says how the value is read and written (XML, the inspector, copies) and how it
// travels in a DXF file: its group code, the subclass marker it follows and the
// releases that carry it. The XML engines (Properties.cpp), the inspector, the DXF
// mapper and a writer walk the same rows, so they cannot disagree.
#include <cstdint>
#include <functional>
#include <vector>

#include "DXFBase.h"
#include "XMLAttribs.h"
#include "qdVersions.h"

struct TqdXMLContext;

// How a group's value relates to the row's.
enum TqdDXFConv : std::uint8_t {
  dcPlain,
  dcRadians,  // the group in radians, the row in degrees
  dcNot,      // the group is the row's negation (a flag stored inverted)
  dcSign      // the row is "the group is not negative" (a layer's colour sign)
};

// How a row travels in DXF. Code 0: the row is no group of its own (derived values
// such as a length, or data a hand-written mapper reads).
struct TqdDXFField {
  // A point's X code; its Y and Z follow at +Step and +2 Step (210: 220, 230).
  short Code = 0;
  short Step = 10;  // 1 for a scale's 41, 42, 43
  // A flag: the bits of the group's integer the row holds (0: the whole value).
  std::uint32_t Mask = 0;
  TqdDXFConv Conv = dcPlain;
  // The subclass marker the group follows ("" none: before the first marker); null:
  // the marker of the class that adds the row, else of the nearest class below it
  // that has one (a point row of a base class is a line's under "AcDbLine").
  const char* Subclass = nullptr;
  TqdDWGVersion MinRelease = acR12;
  TqdDWGVersion MaxRelease = acR2018;
};

struct TqdPropertyDesc {
  int Id = 0;  // attribute id (name and type come from the attribute table)
  std::function<void(const TqdDXFEntity&, TqdData&)> Read;
  // Null: the default is the value a fresh instance of the class holds.
  std::function<bool(const TqdDXFEntity&)> IsDefault;
  // Null: read-only. False when the value was refused.
  std::function<bool(TqdDXFEntity&, const TqdData&, TqdXMLContext&)> Write;
  bool Always = false;       // written whatever the modes
  bool EmptyInHelp = false;  // written empty with xmCallHelp
  TqdDXFField DXF;

  // The row with its DXF group: Prop(...).Dxf(40), .Dxf(70).Bit(1), .Dxf(50).Radians().
  TqdPropertyDesc Dxf(short ACode, const char* ASubclass = nullptr, TqdDWGVersion AMin = acR12) && {
    SetDxf(ACode, ASubclass, AMin);
    return std::move(*this);
  }
  TqdPropertyDesc& Dxf(short ACode, const char* ASubclass = nullptr, TqdDWGVersion AMin = acR12) & {
    SetDxf(ACode, ASubclass, AMin);
    return *this;
  }
  TqdPropertyDesc Bit(std::uint32_t AMask) && {
    DXF.Mask = AMask;
    return std::move(*this);
  }
  TqdPropertyDesc Conv(TqdDXFConv AConv) && {
    DXF.Conv = AConv;
    return std::move(*this);
  }
  TqdPropertyDesc Step(short AStep) && {
    DXF.Step = AStep;
    return std::move(*this);
  }

private:
  void SetDxf(short ACode, const char* ASubclass, TqdDWGVersion AMin) {
    DXF.Code = ACode;
    DXF.Subclass = ASubclass;
    DXF.MinRelease = AMin;
  }
};

using TqdChildFilter = bool (*)(const TqdDXFEntity& AParent, const TqdDXFEntity& AChild);

// An inherited row whose group differs in this class (an ellipse's angles, a
// dimension's point): the ancestor's row keeps its read and write, this class its
// group. Code 0: the class has no group for the row.
struct TqdDXFOverride {
  int Id = 0;
  TqdDXFField DXF;
};

// The properties one class adds after its ancestors', and its rules for children.
struct TqdClassDescription {
  const char* ClassName = "";
  bool (*Applies)(const TqdDXFEntity&) = nullptr;
  std::vector<TqdPropertyDesc> Properties;
  // The classes it creates from child elements (null: inherited; none at the root).
  TqdChildFilter Accepts = nullptr;
  // -1 inherited; 0 its children are not part of its XML form (they are listed
  // elsewhere, as a block record's are under its block); 1 they are.
  int WritesChildren = -1;
  // The DXF subclass marker of the rows this class adds (null: none of its own).
  const char* Subclass = nullptr;
  std::vector<TqdDXFOverride> DXFOverrides{};
};

// Every class, in tree order: each comes after its ancestors.
const std::vector<TqdClassDescription>& SchemaDescriptions();

// One DXF group of a concrete class: the row it sets and how it travels.
struct TqdSchemaGroup {
  const TqdPropertyDesc* Row = nullptr;
  TqdDXFField DXF;  // subclass and overrides resolved
};

// The DXF groups of E's class, ancestors first; rows without a group are left out.
std::vector<TqdSchemaGroup> SchemaDXFGroups(const TqdDXFEntity& E);
// The group codes one field takes: a point's X, Y and Z codes, else the code alone.
std::vector<int> SchemaGroupCodes(const TqdSchemaGroup& G);
