// corvanel's options: the leading "--" arguments are taken off before the
// arguments are counted; --help and --version answer and stop; an unknown
// option is a wrong command line.
#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  int code;
  std::vector<std::string> rest;  // without the closing null
  std::string out;
  std::string err;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "corvanel");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  AppOptions options;
  std::vector<char*> rest;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Parsed p;
  p.code = options_parse(static_cast<int>(args.size()), argv.data(), &options, &rest);
  p.out = testing::internal::GetCapturedStdout();
  p.err = testing::internal::GetCapturedStderr();
  if (p.code < 0) {
    EXPECT_FALSE(rest.empty());
    EXPECT_EQ(rest.back(), nullptr);
    for (size_t i = 0; i + 1 < rest.size(); ++i) p.rest.push_back(rest[i]);
  }
  return p;
}

}  // namespace

TEST(Options, AreTakenOffBeforeTheArgumentsAreCounted) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> rest;  // what app_main counts, program name first
  };
  const Case cases[] = {
      {{}, {"corvanel"}},
      {{"x"}, {"corvanel", "x"}},
      {{"job", "dir"}, {"corvanel", "job", "dir"}},
      {{"job", "dir", "db"}, {"corvanel", "job", "dir", "db"}},
      {{"job", "dir", "db", "more"}, {"corvanel", "job", "dir", "db", "more"}},
      // Only the arguments before the first other one are options.
      {{"job", "--help"}, {"corvanel", "job", "--help"}},
      {{"job", "dir", "--bogus"}, {"corvanel", "job", "dir", "--bogus"}},
      // "--" ends the options and is dropped, so a job may begin with "--".
      {{"--", "--job", "dir"}, {"corvanel", "--job", "dir"}},
      {{"--"}, {"corvanel"}},
      {{"--", "--"}, {"corvanel", "--"}},
      // A single dash is no option.
      {{"-h"}, {"corvanel", "-h"}},
      {{"-", "dir"}, {"corvanel", "-", "dir"}},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_EQ(p.code, -1) << testing::PrintToString(c.args) << p.err;
    EXPECT_EQ(p.rest, c.rest) << testing::PrintToString(c.args);
    EXPECT_EQ(p.out + p.err, "");
  }
}

TEST(Options, HelpAndVersionAnswerOnStandardOutput) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"--help"}, {"--help", "job", "dir"}, {"--help", "--bogus"}}) {
    const Parsed p = parse(args);
    EXPECT_EQ(p.code, 0);
    EXPECT_EQ(
        p.out.rfind("Usage: corvanel [OPTIONS]\n  or:  corvanel [OPTIONS] JOB DIR [DATABASE]\n", 0),
        0u)
        << p.out;
    for (const char* part : {"--version", "Databases:", "wear.db", "kfkncfa.db", "Exit status:"})
      EXPECT_NE(p.out.find(part), std::string::npos) << part;
    EXPECT_EQ(p.err, "");
  }
  const Parsed v = parse({"--version", "job", "dir"});
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(v.out.rfind("corvanel (Corvanel) " CORVANEL_VERSION "\n", 0), 0u) << v.out;
  // The engine's version is the banner's "Using Brisolt Version 1.00".
  EXPECT_NE(v.out.find("\nBrisolt engine 1.00\n"), std::string::npos) << v.out;
}

TEST(Options, AnUnknownOptionIsAWrongCommandLine) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"},
                                        {"--bogus", "job", "dir"},
                                        {"--Help"},
                                        {"--hel", "job", "dir"},
                                        {"--help-all"}}) {
    const Parsed p = parse(args);
    EXPECT_EQ(p.code, 2) << testing::PrintToString(args);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err.rfind("Usage: corvanel [OPTIONS]\n", 0), 0u) << p.err;
    EXPECT_NE(p.err.find("\ncorvanel: "), std::string::npos) << p.err;
  }
}
