#include "cli/CommandRegistry.h"

#include "common/OutputPolicy.h"
#include "frame/Cancellation.h"
#include "frame/ThreadConversion.h"
#include "platform/MessageLoop.h"
#include "platform/Storage.h"
#include "platform/UserConfig.h"
#include "settings/TSSettings.h"

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <csignal>
#include <map>
#include <unistd.h>

namespace tessel::cli {

std::string CConversionCommand::DeriveOutput(const std::string& input) const
{
    CString path(input);
    OutputPolicy::SetExtension(path, m_outputExtension.c_str());
    return path.str();
}

std::vector<std::string> CConversionCommand::FileExtensions() const
{
    auto lower = [](std::string x) {
        for (char& c : x)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return x;
    };
    std::vector<std::string> ext{"." + lower(m_format)};
    if (m_direction == EDirection::Export && !m_outputExtension.empty() && lower(m_outputExtension) != ext[0])
        ext.push_back(lower(m_outputExtension));
    return ext;
}

CConversionCommand* FindConversion(EDirection direction, const std::string& format)
{
    for (CConversionCommand* c : CCommandRegistry::Instance().Conversions())
        if (c->Direction() == direction && c->Format() == format)
            return c;
    return nullptr;
}

CCommandRegistry& CCommandRegistry::Instance()
{
    static CCommandRegistry registry;
    return registry;
}

void CCommandRegistry::AddConversion(CConversionCommand* command) { m_conversions.push_back(command); }

void CCommandRegistry::AddTopLevel(STopLevelCommand command) { m_topLevel.push_back(std::move(command)); }

// --- texts ----------------------------------------------------------------

// Windows-1252 0x80..0x9F; the undefined positions are U+FFFD.
static const char16_t k80[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string ToUtf8(const char* text)
{
    std::string out;
    if (!text)
        return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned c = *p;
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        unsigned u = c < 0xA0 ? unsigned(k80[c - 0x80]) : c;
        if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool FromUtf8(const std::string& utf8, std::string& cp1252)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = std::uint8_t(utf8[i]);
        unsigned u;
        std::size_t len;
        if (c < 0x80) {
            u = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            u = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            u = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            u = c & 0x07;
            len = 4;
        } else {
            return false;
        }
        if (i + len > utf8.size())
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            unsigned char cc = std::uint8_t(utf8[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            u = (u << 6) | (cc & 0x3F);
        }
        i += len;
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += char(u);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (k80[k] == u && u != 0xFFFD)
                found = k;
        if (found < 0)
            return false;
        out += char(0x80 + found);
    }
    cp1252 = std::move(out);
    return true;
}

// --- settings storage -----------------------------------------------------

std::string SettingsStorageDirectory()
{
    std::filesystem::path conf(CUserConfigKey::FilePath().str());
    return (conf.parent_path() / "settings").string();
}

bool LoadUserSettings(std::string* error)
{
    CDirectoryStorage storage(SettingsStorageDirectory());
    CTSSettings settings;
    short rc = settings.Load(&storage);
    if (rc == CTSSettings::loadOK || rc == CTSSettings::loadNoStream)
        return true;
    // A damaged archive must not leave half of it in force.
    CTSSettings::ResetToDefaults();
    if (error)
        *error = "the stored settings in " + storage.GetDirectory() + " could not be read (code " +
                 std::to_string(rc) + "); using the defaults";
    return false;
}

bool StoreUserSettings(std::string* error)
{
    std::error_code ec;
    std::filesystem::create_directories(SettingsStorageDirectory(), ec);
    CDirectoryStorage storage(SettingsStorageDirectory());
    CTSSettings settings;
    if (settings.Store(&storage))
        return true;
    if (error)
        *error = "the settings could not be stored in " + storage.GetDirectory() + " (error " +
                 std::to_string(storage.GetLastError()) + ")";
    return false;
}

// --- progress bar ---------------------------------------------------------

CProgressBar::CProgressBar(bool enabled) : m_enabled(enabled && ::isatty(STDERR_FILENO)) {}

CProgressBar::~CProgressBar() { Clear(); }

void CProgressBar::Draw(const std::vector<float>& fractions, int finished, int total)
{
    if (!m_enabled)
        return;
    double sum = 0;
    int known = 0;
    for (float f : fractions) {
        if (f >= 0) {
            sum += f;
            ++known;
        }
    }
    // Finished jobs count as whole; running ones by their fraction.
    double overall = total > 0 ? (finished + sum) / total : 0.0;
    if (overall > 1)
        overall = 1;
    constexpr int kWidth = 30;
    int filled = int(overall * kWidth + 0.5);
    std::string bar(std::size_t(filled), '#');
    bar.append(std::size_t(kWidth - filled), '-');
    std::fprintf(stderr, "\r[%s] %3d%%  %d/%d done", bar.c_str(), int(overall * 100 + 0.5), finished, total);
    std::fflush(stderr);
    m_drawn = true;
}

void CProgressBar::Clear()
{
    if (!m_drawn)
        return;
    std::fprintf(stderr, "\r%60s\r", "");
    std::fflush(stderr);
    m_drawn = false;
}

// --- interruption ---------------------------------------------------------

namespace {

// SIGINT and SIGTERM ask every job to stop (they fail as on any error,
// removing what they made); the jobs look at the request once per block and
// the message loop within its short wait, so no thread of its own is needed
// to take the signal. A second signal ends the process at once. A signal
// the command was started to ignore stays ignored.
extern "C" void OnInterrupt(int sig)
{
    if (JobCancellation::Requested()) {
        static const char text[] = "\ntessel: stopped at once; outputs in progress may remain\n";
        const ssize_t written = ::write(STDERR_FILENO, text, sizeof text - 1);
        (void)written;
        std::_Exit(128 + sig);
    }
    JobCancellation::Request(sig);
}

void WatchInterrupts()
{
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(sig, &sa, nullptr);
    }
}

// Exit status of an interrupted command: 128 + the signal, as shells report it.
int InterruptedStatus(int status)
{
    const int sig = JobCancellation::Signal();
    return sig ? 128 + sig : status;
}

}  // namespace

// --- running conversions --------------------------------------------------

namespace {

struct SOutcome {
    bool reported = false;
    unsigned startResult = 0;  // non-zero: the member refused to start
    CTSInterface::SMessage msg;
    std::vector<std::string> produced;
};

// The main window stays for the life of the process (the job manager's
// message window is its child); each run installs its own handler.
WindowProc g_outcomeHandler;

void SetOutcomeHandler(WindowProc handler)
{
    if (MessageLoop::GetMainWindow() == 0)
        MessageLoop::SetMainWindow([](unsigned msg, WPARAM w, LPARAM l) -> LRESULT {
            return g_outcomeHandler ? g_outcomeHandler(msg, w, l) : 0;
        });
    g_outcomeHandler = std::move(handler);
}

// Reports one finished input; returns true when it succeeded.
bool Report(CTSInterface& ts, const std::string& input, const SOutcome& o, bool quiet,
            CProgressBar& bar)
{
    bar.Clear();
    if (o.startResult != 0) {
        CString text = ts.GetErrorText(o.startResult);
        std::fprintf(stderr, "tessel: %s: %s\n", input.c_str(), ToUtf8(text).c_str());
        return false;
    }
    bool ok = IsSucceededState(o.msg.uState);
    CString successText = ts.GetErrorText(2);
    if (!ok) {
        std::fprintf(stderr, "tessel: %s: %s\n", input.c_str(), ToUtf8(o.msg.sText).c_str());
        return false;
    }
    if (o.msg.sText != successText)
        std::fprintf(stderr, "tessel: %s: %s\n", input.c_str(), ToUtf8(o.msg.sText).c_str());
    if (!quiet) {
        for (const std::string& out : o.produced)
            std::printf("%s -> %s\n", input.c_str(), out.c_str());
    }
    return true;
}

}  // namespace

int RunConversions(CConversionCommand& command, const SCommonOptions& options)
{
    return RunConversions(command, options, {});
}

int RunConversions(CConversionCommand& command, const SCommonOptions& options,
                   const std::vector<std::string>& names)
{
    auto nameOf = [&](std::size_t i) -> const std::string& {
        return i < names.size() && !names[i].empty() ? names[i] : options.inputs[i];
    };
    CTSInterface ts;
    const std::size_t n = command.CombinesInputs() ? std::min<std::size_t>(options.inputs.size(), 1)
                                                   : options.inputs.size();
    int overwriteValue = 0;
    const int* overwrite = nullptr;
    if (options.overwrite) {
        overwriteValue = 1;
        overwrite = &overwriteValue;
    } else if (options.noOverwrite) {
        overwriteValue = 0;
        overwrite = &overwriteValue;
    }

    // Output of each input: -o names the file for one input, or a directory
    // that receives every output under its derived name.
    namespace fs = std::filesystem;
    std::vector<std::string> outputs(n);
    bool outputIsDirectory = !options.output.empty() && fs::is_directory(options.output);
    if (n > 1 && !options.output.empty() && !outputIsDirectory) {
        std::fprintf(stderr, "tessel: with several inputs, -o must name an existing directory: %s\n",
                     options.output.c_str());
        return kExitUsage;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (outputIsDirectory)
            outputs[i] = (fs::path(options.output) /
                          fs::path(command.DeriveOutput(options.inputs[i])).filename())
                             .string();
        else if (!options.output.empty())
            outputs[i] = options.output;
    }

    // Two inputs whose outputs would be one file: the later job would replace
    // (or, failing, remove) what the earlier one wrote. Refused before any
    // job starts, whatever the format.
    if (n > 1) {
        std::map<std::string, std::size_t> seen;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string out = outputs[i].empty() ? command.DeriveOutput(options.inputs[i]) : outputs[i];
            std::error_code ec;
            fs::path key = fs::weakly_canonical(fs::absolute(out, ec), ec);
            if (ec) key = fs::absolute(out).lexically_normal();
            auto [it, fresh] = seen.emplace(key.string(), i);
            if (!fresh) {
                std::fprintf(stderr,
                             "tessel: %s and %s would both be written to %s; convert them in separate calls "
                             "or to different places\n",
                             options.inputs[it->second].c_str(), options.inputs[i].c_str(), out.c_str());
                return kExitUsage;
            }
        }
    }

    CProgressBar bar(!options.quiet);
    bool allOk = true;

    if (n == 1 && command.HasSyncMode()) {
        std::string out = outputs[0].empty() ? command.DeriveOutput(options.inputs[0]) : outputs[0];
        SConversionRequest r{options.inputs[0].c_str(), 1, 0, out.c_str(), overwrite};
        SOutcome o;
        o.startResult = command.Start(ts, r, &o.msg);
        o.produced.push_back(out);
        return InterruptedStatus(Report(ts, nameOf(0), o, options.quiet, bar) ? kExitOk : kExitFailed);
    }

    // Asynchronous: this thread is the host's; it runs the message loop and
    // receives each outcome at the main window.
    std::map<long, SOutcome> outcomes;
    SetOutcomeHandler([&](unsigned msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg != CTSInterface::g_uMsgFromTessel || !w)
            return 0;
        // The records live only while this message is handled: copy them.
        const auto* m = reinterpret_cast<const CTSInterface::SMessage*>(w);
        const auto* files = reinterpret_cast<const CStringArray*>(l);
        auto it = outcomes.find(m->lID);
        if (it == outcomes.end())
            return 0;
        it->second.reported = true;
        it->second.msg = *m;
        if (files)
            for (const CString& f : *files)
                it->second.produced.push_back(f.str());
        return 1;
    });

    std::vector<long> running;
    for (std::size_t i = 0; i < n; ++i) {
        long id = long(i + 1);
        SOutcome& o = outcomes[id];
        if (JobCancellation::Requested()) {
            // Interrupted before this one started: it fails without running.
            o.reported = true;
            o.msg.uState = 0;
            o.msg.sText = JobCancellation::kInterruptedMessage;
            continue;
        }
        SConversionRequest r{options.inputs[i].c_str(), id, long(i),
                             outputs[i].empty() ? nullptr : outputs[i].c_str(), overwrite};
        o.startResult = command.Start(ts, r, nullptr);
        if (o.startResult != 0) {
            o.reported = true;
            // The start refused: nothing was produced.
        } else {
            running.push_back(id);
        }
    }

    // The job manager polls its jobs on a 2000 ms timer; a command-line host
    // has nothing else to do, so it lets the timer fire more often and
    // reports each job soon after it ends.
    std::vector<bool> printed(n + 1, false);
    int finished = 0;
    auto reportReady = [&] {
        for (std::size_t i = 0; i < n; ++i) {
            long id = long(i + 1);
            SOutcome& o = outcomes[id];
            if (o.reported && !printed[std::size_t(id)]) {
                printed[std::size_t(id)] = true;
                ++finished;
                if (!Report(ts, nameOf(i), o, options.quiet, bar))
                    allOk = false;
            }
        }
    };
    reportReady();
    while (finished < int(n)) {
        MessageLoop::RunOnce(20);
        MessageLoop::FireAllTimers();
        reportReady();
        if (bar.Enabled() && finished < int(n)) {
            std::vector<float> fractions;
            for (long id : running)
                if (!outcomes[id].reported)
                    fractions.push_back(ts.GetProgress(id));
            bar.Draw(fractions, finished, int(n));
        }
    }
    bar.Clear();
    SetOutcomeHandler(nullptr);
    return InterruptedStatus(allOk ? kExitOk : kExitFailed);
}

// --- the command tree -----------------------------------------------------

SCommandLine BuildCommandLine(int argc, char** argv)
{
    // Building every format's options and every command at each start cost
    // about as much CPU as a small conversion; a call that names its
    // conversion needs only that one (help of `import` alone still lists all),
    // and one that names another command needs only that command.
    CConversionCommand* only = nullptr;
    const STopLevelCommand* onlyTop = nullptr;
    if (argc >= 2)
        for (const STopLevelCommand& top : CCommandRegistry::Instance().TopLevel())
            if (top.name == argv[1])
                onlyTop = &top;
    if (argc >= 3) {
        const std::string direction = argv[1], format = argv[2];
        for (CConversionCommand* command : CCommandRegistry::Instance().Conversions())
            if (command->Format() == format &&
                direction == (command->Direction() == EDirection::Import ? "import" : "export"))
                only = command;
    }
    SCommandLine cl;
    cl.app = std::make_unique<CLI::App>(
        "tessel: converts sound-and-vibration data between TRX data sets and other formats", "tessel");
    CLI::App& app = *cl.app;
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Print help for every command");
    app.set_version_flag("--version", std::string("tessel ") + TESSEL_VERSION);

    CLI::App* imp = app.add_subcommand("import", "Import a file into a new TRX data set");
    CLI::App* exp = app.add_subcommand("export", "Export a TRX data set to another format");
    imp->require_subcommand(1);
    exp->require_subcommand(1);

    auto options = std::make_shared<std::map<CConversionCommand*, SCommonOptions>>();
    for (CConversionCommand* command : CCommandRegistry::Instance().Conversions()) {
        if ((only && command != only) || (onlyTop && !onlyTop->readsConversionOptions))
            continue;
        CLI::App* parent = command->Direction() == EDirection::Import ? imp : exp;
        CLI::App* sub = parent->add_subcommand(command->Format(), command->Description());
        SCommonOptions& o = (*options)[command];
        if (command->TakesInputFiles())
            sub->add_option("inputs", o.inputs, "Input files")->required();
        sub->add_option("-o,--output", o.output,
                        "Output file (one input) or existing directory (several inputs)");
        CLI::Option* ow = sub->add_flag("--overwrite", o.overwrite, "Replace an existing output");
        CLI::Option* now =
            sub->add_flag("--no-overwrite", o.noOverwrite, "Never replace an existing output");
        ow->excludes(now);
        sub->add_flag("-q,--quiet", o.quiet, "No progress bar and no list of outputs");
        command->AddOptions(*sub);
        sub->callback([action = cl.action, command, options] {
            command->Validate();
            *action = [command, options] {
                return command->TakesInputFiles() ? RunConversions(*command, (*options)[command])
                                                  : command->RunWithoutInputFiles((*options)[command]);
            };
        });
    }
    for (const STopLevelCommand& top : CCommandRegistry::Instance().TopLevel()) {
        if (only)
            break;
        if (onlyTop && &top != onlyTop)
            continue;
        CLI::App* sub = app.add_subcommand(top.name, top.description);
        auto run = std::make_shared<std::function<int()>>(top.setup(*sub));
        sub->callback([action = cl.action, run] { *action = *run; });
    }
    return cl;
}

int RunCommandLine(int argc, char** argv)
{
    WatchInterrupts();
    SCommandLine cl = BuildCommandLine(argc, argv);
    try {
        cl.app->parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return cl.app->exit(e) == 0 ? kExitOk : kExitUsage;
    } catch (const CLI::CallForAllHelp& e) {
        return cl.app->exit(e) == 0 ? kExitOk : kExitUsage;
    } catch (const CLI::CallForVersion& e) {
        return cl.app->exit(e) == 0 ? kExitOk : kExitUsage;
    } catch (const CLI::ParseError& e) {
        cl.app->exit(e);
        return kExitUsage;
    }
    if (!*cl.action)
        return kExitUsage;
    std::string error;
    if (!LoadUserSettings(&error))
        std::fprintf(stderr, "tessel: warning: %s\n", error.c_str());
    return (*cl.action)();
}

}  // namespace tessel::cli
