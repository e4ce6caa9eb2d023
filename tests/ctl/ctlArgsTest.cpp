// Option parsing of syssrvctl, in process.
#include <gtest/gtest.h>

#include "tools/syssrvctl/ctlArgs.h"

namespace {

struct Parsed {
  bool ok;
  CtlArgs args;
  std::string error;
};

Parsed parse(std::vector<const char*> words, unsigned allowed) {
  words.insert(words.begin(), {"syssrvctl", "cmd"});
  Parsed p;
  p.ok = ctlParseArgs(static_cast<int>(words.size()), words.data(), 2, allowed, &p.args, &p.error);
  return p;
}

const unsigned kAll = kCtlOptTo | kCtlOptFrom | kCtlOptAs | kCtlOptTimeout | kCtlOptExpect | kCtlOptCount |
                      kCtlOptDelay;

}  // namespace

TEST(CtlArgs, OptionsAndPositionalsInAnyOrder) {
  Parsed p = parse({"SystemIF.X", "--to", "Peer", "a: 1", "--timeout=250", "b: 2", "--as", "Me",
                    "--expect", "SystemIF.Y", "--count", "3", "--from=Pub", "--delay", "0"},
                   kAll);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.args.positional, (std::vector<std::string>{"SystemIF.X", "a: 1", "b: 2"}));
  EXPECT_EQ(p.args.to, "Peer");
  EXPECT_EQ(p.args.from, "Pub");
  EXPECT_EQ(p.args.as, "Me");
  EXPECT_EQ(p.args.expect, "SystemIF.Y");
  EXPECT_EQ(p.args.timeoutMs, 250);
  EXPECT_EQ(p.args.count, 3);
  EXPECT_EQ(p.args.delayMs, 0);
  EXPECT_EQ(p.args.given, kAll);
}

TEST(CtlArgs, DefaultsWhenNothingGiven) {
  Parsed p = parse({}, kAll);
  ASSERT_TRUE(p.ok);
  EXPECT_TRUE(p.args.positional.empty());
  EXPECT_EQ(p.args.given, 0u);
  EXPECT_EQ(p.args.timeoutMs, -1);
  EXPECT_EQ(p.args.count, 0);
}

TEST(CtlArgs, DoubleDashEndsOptions) {
  Parsed p = parse({"--to", "P", "--", "--timeout", "x"}, kAll);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.args.positional, (std::vector<std::string>{"--timeout", "x"}));
  EXPECT_EQ(p.args.given, static_cast<unsigned>(kCtlOptTo));
}

// A single dash or a negative-looking word is a positional (text format may
// hold "-1" as a value).
TEST(CtlArgs, SingleDashWordsArePositional) {
  Parsed p = parse({"-1", "-"}, kAll);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.args.positional, (std::vector<std::string>{"-1", "-"}));
}

TEST(CtlArgs, RejectsBadOptions) {
  struct Case {
    std::vector<const char*> words;
    unsigned allowed;
    const char* error;
  } cases[] = {
      {{"--bogus"}, kAll, "unknown option --bogus for this command"},
      {{"--to", "P"}, kCtlOptFrom, "unknown option --to for this command"},
      {{"--to"}, kAll, "option --to needs a value"},
      {{"--to="}, kAll, "option --to needs a non-empty value"},
      {{"--timeout", "abc"}, kAll, "option --timeout needs a non-negative number, not 'abc'"},
      {{"--timeout", "-5"}, kAll, "option --timeout needs a non-negative number, not '-5'"},
      {{"--timeout", "12ms"}, kAll, "option --timeout needs a non-negative number, not '12ms'"},
      {{"--count=99999999999"}, kAll, "option --count needs a non-negative number, not '99999999999'"},
      {{"--delay="}, kAll, "option --delay needs a non-negative number, not ''"},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.words, c.allowed);
    EXPECT_FALSE(p.ok) << c.error;
    EXPECT_EQ(p.error, c.error);
  }
}

TEST(CtlArgs, ParseCount) {
  long v = -1;
  EXPECT_TRUE(ctlParseCount("0", &v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(ctlParseCount("2147483647", &v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_FALSE(ctlParseCount("2147483648", &v));
  EXPECT_FALSE(ctlParseCount("", &v));
  EXPECT_FALSE(ctlParseCount(" 1", &v));
  EXPECT_FALSE(ctlParseCount("+1", &v));
  EXPECT_FALSE(ctlParseCount("0x10", &v));
}
