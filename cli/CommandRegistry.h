#pragma once
// How the `tessel` command is put together.
//
// Every format adds its `tessel import <fmt>` / `tessel export <fmt>`
// subcommand from its own file cli/cmd_<fmt>.cpp, with no central list to
// edit: the file defines a class derived from CConversionCommand and
// registers one static instance of it:
//
//     class CWavImportCommand : public CConversionCommand {
//     public:
//         CWavImportCommand() : CConversionCommand(EDirection::Import, "wav",
//                                   "WAVE file -> TRX data set", ".dat") {}
//         bool HasSyncMode() const override { return true; }
//         unsigned Start(CTSInterface& ts, const SConversionRequest& r,
//                        CTSInterface::SMessage* msg) override {
//             return ts.ImportWAV(r.input, r.id, r.user, r.output, r.overwrite, msg);
//         }
//     };
//     TESSEL_REGISTER_CONVERSION(CWavImportCommand)
//
// The registry gives every conversion the shared options (inputs, -o,
// --overwrite / --no-overwrite, --quiet) and runs it: one input synchronously
// when the member takes an SMessage*, otherwise (and for several inputs) as
// asynchronous jobs through the job manager and the message loop, each
// reported when its completion message arrives. A format adds its own
// options in AddOptions, binding them to members of its command object, and
// passes them to its CTSInterface member as override pointers (null: the
// setting applies), so an option overrides a setting for that call only.
//
// Other top-level commands (info, error-text, settings, or a later `speed`)
// register with TESSEL_REGISTER_TOPLEVEL in the same way.
//
// Exit statuses: 0 every job succeeded (a warning text goes to stderr), 1 a
// job failed (its text on stderr), 2 usage error.

#include "interface/TSInterface.h"
#include "platform/CString.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessel::cli {

enum ExitStatus : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

enum class EDirection { Import, Export };

// The arguments of one conversion call, besides the format's own overrides.
struct SConversionRequest {
    const char* input = nullptr;
    long id = 0;
    long user = 0;
    const char* output = nullptr;  // null: the job derives it
    const int* overwrite = nullptr;  // null: the setting applies
};

class CConversionCommand {
public:
    CConversionCommand(EDirection direction, const char* format, const char* description,
                       const char* outputExtension)
        : m_direction(direction), m_format(format), m_description(description),
          m_outputExtension(outputExtension) {}
    virtual ~CConversionCommand() = default;
    CConversionCommand(const CConversionCommand&) = delete;
    CConversionCommand& operator=(const CConversionCommand&) = delete;

    EDirection Direction() const { return m_direction; }
    const std::string& Format() const { return m_format; }
    const std::string& Description() const { return m_description; }
    // Extension of the outputs (".dat", ".WAV", ...), used to name the output
    // of each input when -o names a directory.
    const std::string& OutputExtension() const { return m_outputExtension; }

    // Adds the format's own options to its subcommand.
    virtual void AddOptions(CLI::App& cmd) {}
    // Checks the format's options after parsing; throw CLI::ValidationError
    // for a usage error.
    virtual void Validate() {}
    // True when the CTSInterface member takes an SMessage* and can therefore
    // run synchronously.
    virtual bool HasSyncMode() const = 0;
    // True when one job takes every input (the command reads the inputs
    // itself); Start is then called once, with the first input.
    virtual bool CombinesInputs() const { return false; }
    // False for a command that reads its data from standard input: it gets
    // no input arguments and runs through RunWithoutInputFiles instead.
    virtual bool TakesInputFiles() const { return true; }
    virtual int RunWithoutInputFiles(const struct SCommonOptions& options) { return 2; }
    // The output path the job would derive from the input when no -o is
    // given (needed for the synchronous path, which requires an output).
    // The default puts OutputExtension() on the input, replacing its
    // extension or appending it when there is none.
    virtual std::string DeriveOutput(const std::string& input) const;
    // Calls the CTSInterface member; msg null starts asynchronously.
    virtual unsigned Start(CTSInterface& ts, const SConversionRequest& request,
                           CTSInterface::SMessage* msg) = 0;
    // Extensions (lower case, with the dot) of the files this command reads
    // (import) or writes (export) in its own format; `tessel convert` picks
    // its steps by them. The default is "." + the format's name, for an
    // export also its output extension. A format whose files carry other
    // names adds them here.
    virtual std::vector<std::string> FileExtensions() const;

private:
    EDirection m_direction;
    std::string m_format;
    std::string m_description;
    std::string m_outputExtension;
};

// Options every conversion shares, bound by the registry.
struct SCommonOptions {
    std::vector<std::string> inputs;
    std::string output;
    bool overwrite = false;
    bool noOverwrite = false;
    bool quiet = false;
};

// A top-level command: `setup` adds options to its subcommand and returns
// the action that runs it (returning an exit status) when it is chosen.
struct STopLevelCommand {
    std::string name;
    std::string description;
    std::function<std::function<int()>(CLI::App& cmd)> setup;
    // True when `setup` reads the conversions' subcommands from the tree (to
    // offer their options); otherwise a call naming this command builds it alone.
    bool readsConversionOptions = false;
};

class CCommandRegistry {
public:
    static CCommandRegistry& Instance();

    // Commands are owned by their files (static lifetime).
    void AddConversion(CConversionCommand* command);
    void AddTopLevel(STopLevelCommand command);

    const std::vector<CConversionCommand*>& Conversions() const { return m_conversions; }
    const std::vector<STopLevelCommand>& TopLevel() const { return m_topLevel; }

private:
    std::vector<CConversionCommand*> m_conversions;
    std::vector<STopLevelCommand> m_topLevel;
};

template <class TCommand>
struct CRegisterConversion {
    CRegisterConversion()
    {
        static TCommand command;
        CCommandRegistry::Instance().AddConversion(&command);
    }
};

#define TESSEL_REGISTER_CONVERSION(Class) \
    static ::tessel::cli::CRegisterConversion<Class> g_register_##Class;

struct CRegisterTopLevel {
    explicit CRegisterTopLevel(STopLevelCommand command)
    {
        CCommandRegistry::Instance().AddTopLevel(std::move(command));
    }
};

#define TESSEL_REGISTER_TOPLEVEL_CAT2(a, b) a##b
#define TESSEL_REGISTER_TOPLEVEL_CAT(a, b) TESSEL_REGISTER_TOPLEVEL_CAT2(a, b)
#define TESSEL_REGISTER_TOPLEVEL(...)                                              \
    static ::tessel::cli::CRegisterTopLevel TESSEL_REGISTER_TOPLEVEL_CAT(          \
        g_register_toplevel_, __LINE__)(::tessel::cli::STopLevelCommand{__VA_ARGS__});

// --- shared helpers -------------------------------------------------------

// Builds the whole command tree from the registry; after parsing, `action`
// holds the chosen command's action (empty when none was chosen).
struct SCommandLine {
    std::unique_ptr<CLI::App> app;
    std::shared_ptr<std::function<int()>> action = std::make_shared<std::function<int()>>();
};
// With the command line, a conversion named in full (`import wav ...`) gets
// only its own subcommand; without it, the whole tree (help, completion).
SCommandLine BuildCommandLine(int argc = 0, char** argv = nullptr);

// Parses and runs; returns the exit status (2 for usage errors, 0 for --help).
int RunCommandLine(int argc, char** argv);

// Runs one conversion command over its inputs (the registry's callback).
int RunConversions(CConversionCommand& command, const SCommonOptions& options);
// The same, reporting input i under names[i] (when given) instead of its
// path: for a step whose input is a temporary the user never named.
int RunConversions(CConversionCommand& command, const SCommonOptions& options,
                   const std::vector<std::string>& names);
// The conversion command of a direction and format; null when none is registered.
CConversionCommand* FindConversion(EDirection direction, const std::string& format);

// Loads the per-user settings into CTSSettings (missing storage: defaults),
// and stores them back. The storage is a directory "settings" beside the
// user configuration file (TESSEL_CONFIG_DIR relocates both).
std::string SettingsStorageDirectory();
bool LoadUserSettings(std::string* error);
bool StoreUserSettings(std::string* error);

// Texts of the module are Windows-1252 bytes; the terminal speaks UTF-8.
std::string ToUtf8(const char* cp1252);
// UTF-8 to Windows-1252; false (and no result) when a character has no
// Windows-1252 byte or the UTF-8 is malformed.
bool FromUtf8(const std::string& utf8, std::string& cp1252);

// Progress bar on stderr, drawn only when stderr is a terminal and not quiet.
class CProgressBar {
public:
    explicit CProgressBar(bool enabled);
    ~CProgressBar();
    bool Enabled() const { return m_enabled; }
    // fraction < 0: unknown (not drawn for that job).
    void Draw(const std::vector<float>& fractions, int finished, int total);
    void Clear();

private:
    bool m_enabled;
    bool m_drawn = false;
};

}  // namespace tessel::cli
