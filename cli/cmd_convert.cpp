// `tessel convert IN OUT`: any format to any other, through a TRX data set
// in a private temporary folder. The steps are the registered import and
// export commands, chosen by the files' extensions (FileExtensions) or by
// --from/--to, so a format that registers its commands converts to and from
// every other one without an edit here. TRX itself on either side is no step:
// the other step reads or writes it directly.
//
// Options of the two steps are accepted on the convert command line and
// handed to the step that knows them (to both when both do), then checked by
// that step's own rules, as if the step had been called by itself.

#include "cli/CommandRegistry.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <pthread.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace tessel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTrx = "trx";
const std::vector<std::string> kTrxExtensions{".trx", ".dat"};

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ExtensionOf(const std::string& path) { return Lower(fs::path(path).extension().string()); }

// A TRX file says so in its first eight bytes, whatever its name.
bool HasTrxMagic(const std::string& path)
{
    static const char kMagic[8] = {'\x89', 'T', 'R', 'X', '\r', '\n', '\x1a', '\n'};
    char head[8] = {};
    std::ifstream f(path, std::ios::binary);
    return f.read(head, 8) && std::equal(head, head + 8, kMagic);
}

std::string KnownFormats(EDirection direction)
{
    std::string s = kTrx;
    for (CConversionCommand* c : CCommandRegistry::Instance().Conversions())
        if (c->Direction() == direction)
            s += ", " + c->Format();
    return s;
}

// The step of one side: format "trx" (no command) or a registered command.
struct SStep {
    std::string format;
    CConversionCommand* command = nullptr;
};

bool Resolve(EDirection direction, const std::string& path, const std::string& forced, SStep& step,
             std::string& error)
{
    const char* flag = direction == EDirection::Import ? "--from" : "--to";
    if (!forced.empty()) {
        step.format = Lower(forced);
        if (step.format == kTrx)
            return true;
        step.command = FindConversion(direction, step.format);
        if (step.command)
            return true;
        error = std::string(flag) + " " + forced + ": no such format (one of: " + KnownFormats(direction) + ")";
        return false;
    }
    const std::string ext = ExtensionOf(path);
    if (direction == EDirection::Import && HasTrxMagic(path)) {
        step.format = kTrx;
        return true;
    }
    std::vector<CConversionCommand*> found;
    for (CConversionCommand* c : CCommandRegistry::Instance().Conversions()) {
        if (c->Direction() != direction)
            continue;
        for (const std::string& e : c->FileExtensions())
            if (!ext.empty() && Lower(e) == ext) {
                found.push_back(c);
                break;
            }
    }
    const bool trxName = std::find(kTrxExtensions.begin(), kTrxExtensions.end(), ext) != kTrxExtensions.end();
    if (found.empty() && trxName) {
        step.format = kTrx;
        return true;
    }
    if (found.size() == 1) {
        step.format = found[0]->Format();
        step.command = found[0];
        return true;
    }
    if (found.empty())
        error = "the format of " + path + " is not known from its name; give it with " + flag + " (one of: " +
                KnownFormats(direction) + ")";
    else {
        error = "the name " + path + " fits several formats (";
        for (std::size_t i = 0; i < found.size(); ++i)
            error += (i ? ", " : "") + found[i]->Format();
        error += "); choose one with " + std::string(flag);
    }
    return false;
}

// Whatever ends the process early (Ctrl-C, a terminal that closes, kill)
// must still take the temporary away, and an output that this command began
// and did not finish. The signals are blocked in every thread (the job
// threads inherit the mask) and one thread waits for them.
class CInterruptCleanup {
public:
    CInterruptCleanup()
    {
        sigemptyset(&m_set);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&m_set, sig);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        m_watcher = std::thread([this] { Watch(); });
    }
    ~CInterruptCleanup()
    {
        m_stop = true;
        m_watcher.join();
        Cleanup();
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    CInterruptCleanup(const CInterruptCleanup&) = delete;
    CInterruptCleanup& operator=(const CInterruptCleanup&) = delete;

    void SetTemporary(const fs::path& dir)
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_temp = dir;
    }
    // An output about to be written: removed on a signal when it was not
    // there before, for then whatever lies there now is this command's.
    void ArmOutput(const fs::path& out)
    {
        std::lock_guard<std::mutex> g(m_mutex);
        std::error_code ec;
        m_output = fs::exists(fs::symlink_status(out, ec)) ? fs::path() : out;
    }
    void DisarmOutput()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_output.clear();
    }
    void Cleanup()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        std::error_code ec;
        if (!m_temp.empty())
            fs::remove_all(m_temp, ec);
        m_temp.clear();
    }

private:
    void Watch()
    {
        const timespec pause{0, 100 * 1000 * 1000};
        while (!m_stop) {
            const int sig = sigtimedwait(&m_set, nullptr, &pause);
            if (sig <= 0)
                continue;
            {
                std::lock_guard<std::mutex> g(m_mutex);
                std::error_code ec;
                if (!m_output.empty())
                    fs::remove(m_output, ec);
                if (!m_temp.empty())
                    fs::remove_all(m_temp, ec);
            }
            // End as the signal would have ended the process.
            std::signal(sig, SIG_DFL);
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, sig);
            pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
            std::raise(sig);
            std::_Exit(128 + sig);
        }
    }

    sigset_t m_set{}, m_old{};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    fs::path m_temp, m_output;
    std::thread m_watcher;
};

// An option of a step, as the convert command line accepts it.
struct SProxy {
    CLI::Option* option;
    std::string replayName;  // "--level"
    bool flag;
};

struct SConvertOptions {
    std::string input, output, from, to;
    bool overwrite = false, noOverwrite = false, quiet = false, keep = false;
    std::vector<SProxy> proxies;
};

// Parses the step options given on the convert line with the step's own
// definitions. The returned app must live while the step runs: a command
// may keep pointers to its options.
std::unique_ptr<CLI::App> ParseStep(CConversionCommand& command, const std::string& input,
                                    const SConvertOptions& o, std::set<std::string>& used)
{
    auto step = std::make_unique<CLI::App>(command.Description(),
                                           std::string(command.Direction() == EDirection::Import ? "import " : "export ") +
                                               command.Format());
    auto inputs = std::make_shared<std::vector<std::string>>();
    step->add_option("inputs", *inputs)->required();
    command.AddOptions(*step);
    std::vector<std::string> args{input};
    for (const SProxy& p : o.proxies) {
        if (p.option->count() == 0 || !step->get_option_no_throw(p.replayName))
            continue;
        used.insert(p.replayName);
        if (p.flag) {
            for (std::size_t i = 0; i < p.option->count(); ++i)
                args.push_back(p.replayName);
        } else {
            for (const std::string& v : p.option->results()) {
                args.push_back(p.replayName);
                args.push_back(v);
            }
        }
    }
    std::reverse(args.begin(), args.end());
    step->parse(args);
    command.Validate();
    // Keep the bound storage alive with the app.
    step->callback([inputs] {});
    return step;
}

// A TRX data set to a TRX data set: a copy, written aside and renamed.
int CopyTrx(const SConvertOptions& o, CInterruptCleanup& guard)
{
    std::error_code ec;
    if (fs::exists(o.output, ec) && fs::equivalent(o.input, o.output, ec)) {
        std::fprintf(stderr, "tessel: %s: input and output are the same file\n", o.input.c_str());
        return kExitFailed;
    }
    if (fs::exists(o.output, ec) && !o.overwrite) {
        std::fprintf(stderr, "tessel: %s: the output exists (--overwrite replaces it)\n", o.output.c_str());
        return kExitFailed;
    }
    const fs::path out(o.output);
    const fs::path aside = out.parent_path() / ("." + out.filename().string() + ".tessel-" + std::to_string(::getpid()));
    guard.ArmOutput(aside);
    fs::copy_file(o.input, aside, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(aside, out, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(aside, ignore);
        guard.DisarmOutput();
        std::fprintf(stderr, "tessel: %s: %s\n", o.output.c_str(), ec.message().c_str());
        return kExitFailed;
    }
    guard.DisarmOutput();
    if (!o.quiet)
        std::printf("%s -> %s\n", o.input.c_str(), o.output.c_str());
    return kExitOk;
}

int RunConvert(const SConvertOptions& o)
{
    SStep from, to;
    std::string error;
    if (!Resolve(EDirection::Import, o.input, o.from, from, error) ||
        !Resolve(EDirection::Export, o.output, o.to, to, error)) {
        std::fprintf(stderr, "tessel convert: %s\n", error.c_str());
        return kExitUsage;
    }
    std::error_code ec;
    if (!fs::exists(o.input, ec)) {
        std::fprintf(stderr, "tessel: %s: no such file\n", o.input.c_str());
        return kExitFailed;
    }

    // Each given step option goes to the step that defines it.
    std::set<std::string> used;
    std::unique_ptr<CLI::App> importApp, exportApp;
    try {
        if (from.command)
            importApp = ParseStep(*from.command, o.input, o, used);
        if (to.command)
            exportApp = ParseStep(*to.command, o.input, o, used);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "tessel convert: %s\n", e.what());
        return kExitUsage;
    }
    for (const SProxy& p : o.proxies)
        if (p.option->count() > 0 && !used.count(p.replayName)) {
            std::fprintf(stderr, "tessel convert: %s is no option of %s%s or %s%s\n", p.replayName.c_str(),
                         from.command ? "import " : "", from.format.c_str(), to.command ? "export " : "",
                         to.format.c_str());
            return kExitUsage;
        }

    CInterruptCleanup guard;
    SCommonOptions common;
    common.overwrite = o.overwrite;
    common.noOverwrite = o.noOverwrite;
    common.quiet = o.quiet;

    if (!from.command && !to.command)
        return CopyTrx(o, guard);
    if (!from.command || !to.command) {
        // One step: it reads or writes the TRX data set itself.
        CConversionCommand& step = from.command ? *from.command : *to.command;
        common.inputs = {o.input};
        common.output = o.output;
        guard.ArmOutput(o.output);
        const int rc = RunConversions(step, common);
        guard.DisarmOutput();
        return rc;
    }

    // Two steps through a private folder; the data set inside is named after
    // the input, so that an output folder receives the input's name.
    const char* tmpRoot = std::getenv("TMPDIR");
    std::string pattern = std::string(tmpRoot && *tmpRoot ? tmpRoot : "/tmp") + "/tessel-convert-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "tessel: no temporary folder could be made in %s\n",
                     fs::path(pattern).parent_path().c_str());
        return kExitFailed;
    }
    const fs::path tempDir(pattern);
    guard.SetTemporary(tempDir);
    const fs::path temp = tempDir / (fs::path(o.input).stem().string() + ".trx");

    SCommonOptions first = common;
    first.inputs = {o.input};
    first.output = temp.string();
    first.overwrite = true;
    first.noOverwrite = false;
    first.quiet = true;
    int rc = RunConversions(*from.command, first);
    if (rc != kExitOk)
        return rc;
    // An import may split its input (a universal file with several kinds of
    // abscissa gives one data set each); one output cannot take them all.
    std::vector<fs::path> made;
    for (const auto& e : fs::directory_iterator(tempDir, ec))
        made.push_back(e.path());
    if (made.size() != 1) {
        std::fprintf(stderr,
                     "tessel: %s: the import gives %zu data sets, which one %s file cannot hold; convert them "
                     "with `tessel import %s` and `tessel export %s`\n",
                     o.input.c_str(), made.size(), to.format.c_str(), from.format.c_str(), to.format.c_str());
        return kExitFailed;
    }

    SCommonOptions second = common;
    second.inputs = {made[0].string()};
    second.output = o.output;
    const bool toFolder = fs::is_directory(o.output, ec);
    guard.ArmOutput(toFolder ? fs::path(o.output) / fs::path(to.command->DeriveOutput(second.inputs[0])).filename()
                             : fs::path(o.output));
    rc = RunConversions(*to.command, second, {o.input});
    guard.DisarmOutput();
    return rc;
}

std::function<int()> SetupConvert(CLI::App& cmd)
{
    auto o = std::make_shared<SConvertOptions>();
    cmd.add_option("input", o->input, "File to convert")->required();
    cmd.add_option("output", o->output, "File to write (or an existing folder, with --to)")->required();
    CLI::Option* fromOpt = cmd.add_option(
        "--from", o->from, "Format of the input (by default from its extension, or TRX by its content)");
    CLI::Option* toOpt = cmd.add_option("--to", o->to, "Format of the output (by default from its extension)");
    CLI::Option* ow = cmd.add_flag("--overwrite", o->overwrite, "Replace an existing output");
    CLI::Option* now = cmd.add_flag("--no-overwrite", o->noOverwrite, "Never replace an existing output");
    ow->excludes(now);
    cmd.add_flag("-q,--quiet", o->quiet, "No progress bar and no list of outputs");

    // Every option of every import and export step, once by name.
    std::string formats;
    std::set<std::string> taken{"-h", "--help", "--help-all", "--version", "-o", "--output", "--overwrite", "--no-overwrite", "-q",
                                "--quiet", "--from", "--to"};
    for (EDirection dir : {EDirection::Import, EDirection::Export}) {
        formats += dir == EDirection::Import ? "Input formats:" : "\nOutput formats:";
        formats += " trx (";
        for (std::size_t i = 0; i < kTrxExtensions.size(); ++i)
            formats += (i ? " " : "") + kTrxExtensions[i];
        formats += dir == EDirection::Import ? ", or any file that is a TRX data set)" : ")";
        for (CConversionCommand* c : CCommandRegistry::Instance().Conversions()) {
            if (c->Direction() != dir)
                continue;
            formats += ", " + c->Format() + " (";
            const std::vector<std::string> ext = c->FileExtensions();
            for (std::size_t i = 0; i < ext.size(); ++i)
                formats += (i ? " " : "") + ext[i];
            formats += ")";
        }
    }
    for (EDirection dir : {EDirection::Import, EDirection::Export}) {
        std::string names = std::string("{") + kTrx;
        for (CConversionCommand* c : CCommandRegistry::Instance().Conversions())
            if (c->Direction() == dir)
                names += "," + c->Format();
        (dir == EDirection::Import ? fromOpt : toOpt)->type_name(names + "}");
    }
    CLI::App* root = &cmd;
    while (root->get_parent())
        root = root->get_parent();
    for (const char* dirName : {"import", "export"}) {
        const std::vector<CLI::App*> dirs =
            root->get_subcommands([&](CLI::App* a) { return a->get_name() == dirName; });
        if (dirs.empty())
            continue;
        for (CLI::App* sub : dirs[0]->get_subcommands([](CLI::App*) { return true; })) {
            for (const CLI::Option* opt : sub->get_options()) {
                if (opt->get_lnames().empty() && opt->get_snames().empty())
                    continue;
                const std::string replay =
                    opt->get_lnames().empty() ? "-" + opt->get_snames()[0] : "--" + opt->get_lnames()[0];
                if (taken.count(replay))
                    continue;
                taken.insert(replay);
                const bool flag = opt->get_expected_max() == 0;
                const std::string desc = opt->get_description() + " [" + dirName + " " + sub->get_name() + "]";
                CLI::Option* proxy = flag ? cmd.add_flag(replay, desc) : cmd.add_option(replay, desc)->type_name(opt->get_type_name());
                if (!flag)
                    proxy->type_size(opt->get_type_size_min(), opt->get_type_size_max())
                        ->expected(opt->get_expected_min(), opt->get_expected_max());
                proxy->group("Options of the steps (see tessel import|export FORMAT --help)");
                o->proxies.push_back({proxy, replay, flag});
            }
        }
    }
    cmd.footer(formats +
               "\nThe input is imported into a TRX data set in a private folder under $TMPDIR (or /tmp), which "
               "the export then reads; the folder goes away on every path, also when the command is interrupted.");
    return [o] { return RunConvert(*o); };
}

TESSEL_REGISTER_TOPLEVEL("convert", "Convert any supported format to any other (through a TRX data set)",
                         SetupConvert, true)

}  // namespace
}  // namespace tessel::cli
