#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <sstream>

#include "cli/revision.h"

namespace {

// CLI11's help, with the program's own synopsis in place of the generated
// usage line, the arguments under "Arguments:", and every subcommand's
// arguments and options in the program's help (a manual page shows them all).
class Formatter : public CLI::Formatter {
 public:
  explicit Formatter(std::string synopsis) : synopsis_(std::move(synopsis)) {
    label("Positionals", "Arguments");
    label("REQUIRED", "");
    column_width(24);
  }

  std::string make_usage(const CLI::App*, std::string) const override { return synopsis_; }

  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    std::ostringstream out;
    out << synopsis_;
    if (!app->get_description().empty()) out << '\n' << app->get_description();
    out << make_positionals(app) << make_groups(app, mode);
    if (app->get_parent() == nullptr) {
      out << make_subcommands(app, CLI::AppFormatMode::Normal);
      for (const CLI::App* command : app->get_subcommands({})) out << make_expanded(command);
    }
    const std::string footer = make_footer(app);
    if (!footer.empty()) out << '\n' << footer;
    (void)name;
    return out.str();
  }

  // A subcommand's arguments and options under "Options of NAME:".
  std::string make_expanded(const CLI::App* command) const override {
    std::string text = "\nOptions of " + command->get_name() + ":\n";
    for (bool positional : {true, false}) {
      for (const CLI::Option* opt : command->get_options()) {
        if (opt->get_positional() == positional && opt != command->get_help_ptr())
          text += make_option(opt, positional);
      }
    }
    return text;
  }

  const std::string& synopsis() const { return synopsis_; }

 private:
  std::string synopsis_;
};

const CLI::App* top_of(const CLI::App* app) {
  while (app->get_parent() != nullptr) app = app->get_parent();
  return app;
}

}  // namespace

const char* cli_version() { return CORVANEL_VERSION; }

const char* cli_revision() { return CORVANEL_REVISION; }

std::string cli_version_text(const char* program, const std::string& more) {
  std::string text = std::string(program) + " (Corvanel) " + cli_version() + "\n";
  if (*cli_revision() != '\0') text += std::string("git revision ") + cli_revision() + "\n";
  return text + more;
}

void cli_setup(CLI::App* app, const std::string& synopsis, const std::string& version_text,
               const std::string& help_names) {
  app->formatter(std::make_shared<Formatter>(synopsis));
  app->set_help_flag(help_names, "print this help and exit");
  app->set_version_flag("--version", version_text, "print the version and exit");
  // A repeated option counts with its last value, as in most programs.
  app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

int cli_parse(CLI::App* app, int argc, const char* const* argv) {
  try {
    app->parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app->help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app->help("", CLI::AppFormatMode::All).c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    const std::string text = e.what();
    std::fputs(text.c_str(), stdout);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    return cli_usage_error(app, e.what());
  }
  return -1;
}

int cli_usage_error(const CLI::App* app, const std::string& problem) {
  const CLI::App* top = top_of(app);
  const auto formatter = std::dynamic_pointer_cast<Formatter>(top->get_formatter());
  if (formatter != nullptr) std::fputs(formatter->synopsis().c_str(), stderr);
  std::fprintf(stderr, "%s: %s\n", top->get_name().c_str(), problem.c_str());
  return 2;
}
