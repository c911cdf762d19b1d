#pragma once
// The XML form of database objects. Each class describes its attributes once (id,
// read, write, DXF group) in the class rows of Schema.cpp; ToXML, FromXML and the
// inspector all walk the compiled description of an object's class, so they cannot
// disagree.
//
// FromXML from untrusted text: "Handle" is never written (handles key the converter's
// maps), a name never becomes a pointer except through a lookup in the drawing's own
// tables, a container creates only the classes it can own, and nesting is capped.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DXFBase.h"
#include "Schema.h"
#include "qdXMLParser.h"

class TqdDXFConverter;

// TqdXMLMode: a set of these flags.
enum TqdXMLModeFlag : unsigned {
  xmAddSubEntities = 1,      // entities add their sub-entities (vertices, attributes, block entities)
  xmAddSectionEntities = 2,  // the converter adds its sections with their items
  xmNoSubEntitiesNode = 4,   // sub-entities go directly under the element, not under "SubEntities"
  xmCallHelp = 8,            // every attribute, for help output (some written empty)
  xmOnlyChildNodes = 16,     // the element carries no attributes, only its child elements
  xmlGetDefaultValue = 32    // attributes that hold their default value are written too
};
using TqdXMLMode = unsigned;

enum TqdXMLStatus { xsDone = 0, xsStopped = 1, xsWrongClass = 2 };

// What FromXML could not apply, with the node's position when it was parsed.
struct TqdXMLResult {
  static constexpr std::size_t cnstMaxMessages = 1000;
  std::vector<std::string> Messages;
  int Applied = 0;
  int Skipped = 0;
  // Set by a caller's handler to end the pass.
  std::function<bool(const TqdNodeSample&)> Stop;
  void Report(const TqdNodeSample& ANode, const std::string& AMessage);
};

// State of one ToXML / FromXML pass.
struct TqdXMLContext {
  TqdXMLMode Modes = 0;
  TqdXMLResult* Result = nullptr;
  TqdDXFConverter* Converter = nullptr;
  int Depth = 0;
  bool Stopped = false;
  // Items made during the pass (null: not collected).
  std::vector<TqdDXFEntity*>* Created = nullptr;
};

// Every property of a concrete class, ancestors first; a class that redescribes an
// attribute of an ancestor replaces it in place.
struct TqdClassProperties {
  std::string ClassName;
  std::string XMLName;
  std::vector<const TqdPropertyDesc*> Properties;
  std::array<short, cnstXMLAttribCount> ById{};  // index + 1 into Properties, 0 none
  TqdChildFilter Accepts = nullptr;
  bool WritesChildren = true;
  std::unique_ptr<TqdDXFEntity> Prototype;  // a fresh instance: the defaults
  const TqdPropertyDesc* Find(int AId) const {
    return AId > 0 && AId < cnstXMLAttribCount && ById[static_cast<std::size_t>(AId)]
               ? Properties[static_cast<std::size_t>(ById[static_cast<std::size_t>(AId)] - 1)]
               : nullptr;
  }
};

const TqdClassProperties& ClassProperties(const TqdDXFEntity& E);

// "TqdDXFLine" -> "Line", "TqdCADHatch" -> "Hatch", "Tqd2DArc" -> "hArc", "TqdMVertex" -> "MVertex".
std::string GetPropertyName(std::string_view AClassName);
// "vnx" and the property name.
std::string GetXMLName(std::string_view AClassName);

// The class table of XML names (filled by RegisterXMLClasses, safe to call again).
void RegisterXMLClasses();
// Classes of other layers (a reader's own entities) enter the table through this.
void RegisterXMLClass(TqdEntityClass AClass);
TqdEntityClass XMLClassByName(std::string_view AXMLName);

// The list-like child elements of E's own form (area loops and pattern lines, spline
// points, knots and weights, extended data), added to ANode after its attributes.
void qdOwnElementsToXML(const TqdDXFEntity& E, TqdNode& ANode, unsigned AModes);
// Applies AChild when it is one of those elements; false for any other element.
bool qdOwnElementsFromXML(TqdDXFEntity& E, const TqdNode& AChild, TqdXMLResult* AResult);

// The children that belong to E's XML form.
bool XMLWritesChildren(const TqdDXFEntity& E);

// The inspector's view: each attribute with its current text, type and description.
struct TqdXMLPropertyInfo {
  int Id;
  std::string Name, Value, TypeName, Description;
  bool ReadOnly;
};
std::vector<TqdXMLPropertyInfo> XMLProperties(const TqdDXFEntity& E);
// One line per attribute of E's class: name, type and description.
std::string XMLDescription(const TqdDXFEntity& E);

// Writes E (with its sub-entities per the modes) as XML text element by element,
// never holding more than one entity's nodes: the form a drawing dump uses.
void StreamXML(std::string& Out, const TqdDXFEntity& E, TqdXMLMode AModes, int ALevel = 0);
// The same for a whole drawing.
void StreamXML(std::string& Out, const TqdDXFConverter& C, TqdXMLMode AModes, int ALevel = 0);
