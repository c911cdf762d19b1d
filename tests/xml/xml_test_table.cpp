// A small attribute table for the XML layer's own tests (the drawing's table belongs
// to the database), with a gap and a name listed twice.
#include <gtest/gtest.h>

#include "qdXMLParser.h"

namespace {

const TqdXMLAttribInfo cTable[] = {
    {nullptr, dtUndefined, nullptr},
    {"Layer", dtEntName, "Name of a Layer"},
    {"Point1", dtTFPoint, "Second point of a line"},
    {"Area", dtDouble, "Area value"},
    {nullptr, dtUndefined, nullptr},
    {"Area", dtDouble, "Area enclosed by the item"},
};

class TTableEnvironment : public testing::Environment {
public:
  void SetUp() override { XMLSetAttribTable(cTable, static_cast<int>(std::size(cTable))); }
};

[[maybe_unused]] testing::Environment* const cEnv = testing::AddGlobalTestEnvironment(new TTableEnvironment);

}  // namespace
