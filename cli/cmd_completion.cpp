// `tessel completion bash`: a bash completion script made from the command
// tree itself, so every format's commands and options complete as soon as the
// format registers them. The build installs its output; a user without an
// installed tree can `source <(tessel completion bash)`.

#include "cli/CommandRegistry.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace tessel::cli {
namespace {

struct SNode {
    std::string path;                  // "tessel import wav"
    std::vector<std::string> subs;     // subcommand names
    std::vector<std::string> options;  // every option name
    std::vector<std::string> valued;   // names of options that take a value
    std::vector<std::pair<std::string, std::string>> choices;  // option name, its words
};

// The words an option accepts when its type names a set: "{bash,man}",
// "INT:value in {auto->0,fixed->1} OR {0,1}" (the words before "->").
std::string Choices(const std::string& typeName)
{
    const auto open = typeName.find('{'), close = typeName.find('}', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    std::string words, item;
    auto flush = [&] {
        const std::string w = item.substr(0, item.find("->"));
        if (!w.empty())
            words += (words.empty() ? "" : " ") + w;
        item.clear();
    };
    for (std::size_t i = open + 1; i < close; ++i) {
        if (typeName[i] == ',')
            flush();
        else if (typeName[i] != ' ')
            item += typeName[i];
    }
    flush();
    return words;
}

void Walk(const CLI::App& app, const std::string& path, std::vector<SNode>& nodes)
{
    SNode node;
    node.path = path;
    for (const CLI::Option* opt : app.get_options()) {
        if (opt->get_positional() && opt->get_lnames().empty() && opt->get_snames().empty())
            continue;
        std::vector<std::string> names;
        for (const std::string& s : opt->get_snames())
            names.push_back("-" + s);
        for (const std::string& l : opt->get_lnames())
            names.push_back("--" + l);
        const std::string words = opt->get_expected_max() != 0 ? Choices(opt->get_type_name()) : "";
        for (const std::string& n : names) {
            node.options.push_back(n);
            if (opt->get_expected_max() != 0)
                node.valued.push_back(n);
            if (!words.empty())
                node.choices.emplace_back(n, words);
        }
    }
    std::vector<const CLI::App*> subs = app.get_subcommands([](const CLI::App*) { return true; });
    for (const CLI::App* sub : subs)
        node.subs.push_back(sub->get_name());
    nodes.push_back(node);
    for (const CLI::App* sub : subs)
        Walk(*sub, path + " " + sub->get_name(), nodes);
}

std::string Join(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& x : v)
        s += (s.empty() ? "" : " ") + x;
    return s;
}

// Names of commands and options are plain words; nothing in them needs
// quoting inside double quotes, but a stray character must not break the script.
std::string Quoted(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

int PrintBash()
{
    SCommandLine cl = BuildCommandLine();
    std::vector<SNode> nodes;
    Walk(*cl.app, "tessel", nodes);
    std::string s = "# bash completion for tessel; made by `tessel completion bash`.\n"
                    "declare -gA _tessel_subs=() _tessel_opts=() _tessel_valued=() _tessel_choices=()\n";
    for (const SNode& n : nodes) {
        s += "_tessel_subs[" + Quoted(n.path) + "]=" + Quoted(Join(n.subs)) + "\n";
        s += "_tessel_opts[" + Quoted(n.path) + "]=" + Quoted(Join(n.options)) + "\n";
        s += "_tessel_valued[" + Quoted(n.path) + "]=" + Quoted(Join(n.valued)) + "\n";
        for (const auto& [option, words] : n.choices)
            s += "_tessel_choices[" + Quoted(n.path + " " + option) + "]=" + Quoted(words) + "\n";
    }
    s += R"BASH(
_tessel() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local path=tessel i w
  # The command path: every word that names a subcommand of the path so far;
  # an option that takes a value also takes the word after it.
  for ((i = 1; i < COMP_CWORD; i++)); do
    w=${COMP_WORDS[i]}
    if [[ $w == -* ]]; then
      [[ $w != *=* && " ${_tessel_valued[$path]} " == *" $w "* ]] && ((i++))
      continue
    fi
    [[ " ${_tessel_subs[$path]} " == *" $w "* ]] && path="$path $w"
  done
  if [[ $COMP_CWORD -gt 1 && $prev == -* && " ${_tessel_valued[$path]} " == *" $prev "* ]]; then
    if [[ -n ${_tessel_choices["$path $prev"]} ]]; then
      COMPREPLY=($(compgen -W "${_tessel_choices["$path $prev"]}" -- "$cur"))
    else
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
    fi
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "${_tessel_opts[$path]}" -- "$cur"))
  elif [[ -n ${_tessel_subs[$path]} ]]; then
    COMPREPLY=($(compgen -W "${_tessel_subs[$path]}" -- "$cur"))
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _tessel tessel
)BASH";
    std::fwrite(s.data(), 1, s.size(), stdout);
    return kExitOk;
}

// Roff: a backslash, and a dot or quote at the start of a line, are markup.
std::string Roff(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else if ((c == '.' || c == '\'') && (i == 0 || text[i - 1] == '\n'))
            out += std::string("\\&") + c;
        else
            out += c;
    }
    return out;
}

void ManualNode(const CLI::App& app, const std::string& path, std::string& s)
{
    std::vector<const CLI::App*> subs = app.get_subcommands([](const CLI::App*) { return true; });
    if (path != "tessel") {
        std::string usage = path;
        for (const CLI::Option* opt : app.get_options())
            if (opt->get_lnames().empty() && opt->get_snames().empty()) {
                std::string name = opt->get_name();
                for (char& c : name)
                    c = char(std::toupper(static_cast<unsigned char>(c)));
                if (opt->get_items_expected_max() > 1)
                    name += "...";
                usage += " " + (opt->get_required() ? name : "[" + name + "]");
            }
        if (!subs.empty())
            usage += " COMMAND";
        s += ".SS \"" + Roff(usage) + "\"\n" + Roff(app.get_description()) + "\n";
        if (!app.get_footer().empty())
            s += ".PP\n" + Roff(app.get_footer()) + "\n";
        for (const CLI::Option* opt : app.get_options()) {
            if (opt->get_lnames().empty() && opt->get_snames().empty())
                continue;
            if (opt->get_lnames() == std::vector<std::string>{"help"} ||
                opt->get_lnames() == std::vector<std::string>{"help-all"})
                continue;
            std::string names;
            for (const std::string& n : opt->get_snames())
                names += (names.empty() ? "" : ", ") + ("\\fB\\-" + n + "\\fR");
            for (const std::string& n : opt->get_lnames())
                names += (names.empty() ? "" : ", ") + ("\\fB\\-\\-" + Roff(n) + "\\fR");
            if (opt->get_expected_max() != 0)
                names += " \\fI" + Roff(opt->get_type_name().empty() ? "VALUE" : opt->get_type_name()) + "\\fR";
            s += ".TP\n" + names + "\n" + Roff(opt->get_description()) + "\n";
        }
    }
    for (const CLI::App* sub : subs)
        ManualNode(*sub, path + " " + sub->get_name(), s);
}

// The COMMANDS section of the manual page, from the same tree as the help.
int PrintManualCommands()
{
    SCommandLine cl = BuildCommandLine();
    std::string s = ".SH COMMANDS\n";
    ManualNode(*cl.app, "tessel", s);
    std::fwrite(s.data(), 1, s.size(), stdout);
    return kExitOk;
}

std::function<int()> SetupCompletion(CLI::App& cmd)
{
    auto shell = std::make_shared<std::string>();
    cmd.add_option("shell", *shell, "Shell (bash), or man for the commands of the manual page")
        ->required()
        ->check(CLI::IsMember({"bash", "man"}));
    return [shell] { return *shell == "man" ? PrintManualCommands() : PrintBash(); };
}

TESSEL_REGISTER_TOPLEVEL("completion", "Print the shell completion script (tessel completion bash)",
                         SetupCompletion)

}  // namespace
}  // namespace tessel::cli
