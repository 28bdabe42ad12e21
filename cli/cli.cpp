#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include "cli/revision.h"

struct CliApp {
  std::unique_ptr<CLI::App> owned;  // the program's; null for a command
  CLI::App* app;
  CliApp* top;  // the program's own
  std::vector<std::unique_ptr<CliApp>> commands;
  std::string synopsis;
};

namespace {

// CLI11's help, with the program's own synopsis in place of the generated
// usage line, the arguments under "Arguments:", and every command's
// arguments and options in the program's help (a manual page shows them all).
class Formatter : public CLI::Formatter {
 public:
  explicit Formatter(std::string synopsis) : synopsis_(std::move(synopsis)) {
    label("Positionals", "Arguments");
    label("REQUIRED", "");
    column_width(24);
  }

  std::string make_usage(const CLI::App*, std::string) const override { return synopsis_; }

  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
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
    return out.str();
  }

  // A command's arguments and options under "Options of NAME:".
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

 private:
  std::string synopsis_;
};

bool is_command_of(const CliApp* app, const char* word) {
  return std::any_of(app->commands.begin(), app->commands.end(),
                     [&](const auto& c) { return c->app->get_name() == word; });
}

}  // namespace

const char* cli_version() {
  return CORVANEL_VERSION;
}

const char* cli_revision() {
  return CORVANEL_REVISION;
}

std::string cli_version_text(const char* program, const std::string& more) {
  std::string text = std::string(program) + " (Corvanel) " + cli_version() + "\n";
  if (*cli_revision() != '\0') text += std::string("git revision ") + cli_revision() + "\n";
  return text + more;
}

CliApp* cli_create(const CliProgram& program) {
  try {
    auto cli = std::make_unique<CliApp>();
    cli->owned = std::make_unique<CLI::App>(program.description, program.name);
    cli->app = cli->owned.get();
    cli->top = cli.get();
    cli->synopsis = program.synopsis;
    CLI::App& app = *cli->app;
    app.formatter(std::make_shared<Formatter>(program.synopsis));
    app.footer(program.footer);
    app.set_help_flag(program.help_names, "print this help and exit");
    app.set_version_flag("--version", program.version_text, "print the version and exit");
    // A repeated option counts with its last value, as in most programs.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    return cli.release();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void cli_free(CliApp* app) {
  delete app;
}

CliApp* cli_add_command(CliApp* app, const char* name, const char* description) {
  auto command = std::make_unique<CliApp>();
  command->app = app->app->add_subcommand(name, description);
  command->app->group("Commands");
  command->top = app->top;
  app->app->require_subcommand(1);
  app->commands.push_back(std::move(command));
  return app->commands.back().get();
}

void cli_add_flag(CliApp* app, const char* name, bool* value, const char* description) {
  app->app->add_flag(name, *value, description);
}

void cli_add_text(CliApp* app, const char* name, std::string* value, const char* description,
                  const char* value_name, bool required) {
  CLI::Option* option = app->app->add_option(name, *value, description)->type_name(value_name);
  if (required) option->required();
}

void cli_add_whole(CliApp* app, const char* name, int* value, int min, int max,
                   const char* description) {
  app->app->add_option(name, *value, description)
      ->check(CLI::Range(min, max).description(""))
      ->type_name("N");
}

int cli_parse(CliApp* cli, int argc, const char* const* argv) {
  CLI::App& app = *cli->app;
  if (!cli->commands.empty() && argc >= 2 && argv[1][0] != '-') {
    if (argc == 2 && std::strcmp(argv[1], "help") == 0) {
      std::fputs(app.help().c_str(), stdout);
      return 0;
    }
    if (!is_command_of(cli, argv[1]))
      return cli_usage_error(cli, std::string("unknown command ") + argv[1]);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    const std::string text = e.what();
    std::fputs(text.c_str(), stdout);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    return cli_usage_error(cli, e.what());
  }
  return -1;
}

int cli_given(const CliApp* command) {
  return command->app->parsed() ? 1 : 0;
}

int cli_usage_error(const CliApp* app, const std::string& problem) {
  std::fputs(app->top->synopsis.c_str(), stderr);
  std::fprintf(stderr, "%s: %s\n", app->top->app->get_name().c_str(), problem.c_str());
  return 2;
}
