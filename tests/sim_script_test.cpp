// Reading key scripts.
#include <gtest/gtest.h>

#include <string>

#include "sim/script.h"

namespace zorva {
namespace {

TEST(Script, ReadsEveryToken) {
  const auto lines = ParseScript(
      "# a comment\n"
      "\n"
      "3 LEFT RIGHT SPACE\n"
      "  1   tap:LEFT\ttap:RIGHT tap:SPACE  \r\n"
      "2 wait close work=31\n"
      "1 -");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].lineNumber, 3);
  EXPECT_EQ(lines[0].count, 3);
  EXPECT_TRUE(lines[0].holdLeft && lines[0].holdRight && lines[0].holdSpace);
  EXPECT_FALSE(lines[0].tapLeft || lines[0].clickWait || lines[0].work);
  EXPECT_TRUE(lines[1].tapLeft && lines[1].tapRight && lines[1].tapSpace);
  EXPECT_FALSE(lines[1].holdLeft);
  EXPECT_TRUE(lines[2].clickWait && lines[2].close);
  ASSERT_TRUE(lines[2].work.has_value());
  EXPECT_EQ(*lines[2].work, 31);
  EXPECT_EQ(lines[3].lineNumber, 6);
  EXPECT_FALSE(lines[3].holdSpace || lines[3].tapSpace);
}

TEST(Script, EmptyScriptHasNoLines) {
  EXPECT_TRUE(ParseScript("").empty());
  EXPECT_TRUE(ParseScript("\n\n# only comments\n").empty());
}

TEST(Script, BadLinesNameTheirLine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"0 -", "script line 1: expected a pass count"},
      {"-1 -", "script line 1: expected a pass count"},
      {"1", "script line 1: expected at least one token"},
      {"1 -\n\n2 space", "script line 3: unknown token \"space\""},
      {"1 tap:DOWN", "unknown token \"tap:DOWN\""},
      {"1 work=", "script line 1: work needs"},
      {"1 work=-5", "work needs"},
      {"1 work=99999999999999999999", "work needs"},
      {"99999999999999999999 -", "expected a pass count"},
      {"1x -", "expected a pass count"},
  };
  for (const Case& c : cases) {
    try {
      ParseScript(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ScriptError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace zorva
