// The command line: options, their checks and --help.
#include "config.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace tdsserver {
namespace {

Config g_config;

[[noreturn]] void Usage(const std::string& why) {
    std::fprintf(
        why.empty() ? stdout : stderr,
        "%s%s"
        "usage: quillane-testserver [--port N] [--keytab FILE] [--sql-login user:pw]...\n"
        "       [--transcript FILE] [--databases FILE] [--log-dir DIR] [--close-after N]\n"
        "       [--delay-ms D] [--delay-batch N] [--statement-delay-ms D] [--exit-after N]\n"
        "       [--refuse-logins] [--drive LETTER=DIR]...\n"
        "Listens on 127.0.0.1 only and prints \"READY <port>\" once listening\n"
        "(--port 0: any free port; exit status 2 when the port is taken).\n"
        "--log-dir: where a log that FOR ATTACH cannot find is rebuilt (default: the system's\n"
        "temporary directory).\n"
        "--statement-delay-ms: every statement waits D ms before it runs, as a real server's\n"
        "attach work would take (a client's attention cuts it short).\n"
        "--drive Z=/: paths on the Windows drive Z: are files under / (as Wine maps drives).\n",
        why.empty() ? "" : "quillane-testserver: ", why.empty() ? "" : (why + "\n").c_str());
    std::exit(why.empty() ? 0 : 64);
}

int ParseInt(const std::string& s, const char* what) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(s, &used);
        if (used == s.size())
            return v;
    } catch (const std::exception&) {
    }
    Usage(std::string("bad number for ") + what + ": " + s);
}

}  // namespace

const Config& Options() {
    return g_config;
}

void ParseArgs(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage("missing value after " + a);
            return argv[++i];
        };
        if (a == "--help") {
            Usage("");
        } else if (a == "--port") {
            g_config.port = ParseInt(value(), "--port");
        } else if (a == "--keytab") {
            g_config.keytab = value();
        } else if (a == "--sql-login") {
            const std::string v = value();
            const auto colon = v.find(':');
            if (colon == std::string::npos)
                Usage("--sql-login wants user:password");
            g_config.sqlLogins[v.substr(0, colon)] = v.substr(colon + 1);
        } else if (a == "--transcript") {
            g_config.transcriptPath = value();
        } else if (a == "--databases") {
            g_config.databasesPath = value();
        } else if (a == "--log-dir") {
            g_config.logDir = value();
        } else if (a == "--close-after") {
            g_config.closeAfter = ParseInt(value(), "--close-after");
        } else if (a == "--delay-ms") {
            g_config.delayMs = ParseInt(value(), "--delay-ms");
        } else if (a == "--delay-batch") {
            g_config.delayBatch = ParseInt(value(), "--delay-batch");
        } else if (a == "--statement-delay-ms") {
            g_config.statementDelayMs = ParseInt(value(), "--statement-delay-ms");
        } else if (a == "--exit-after") {
            g_config.exitAfter = ParseInt(value(), "--exit-after");
        } else if (a == "--drive") {
            const std::string v = value();
            if (v.size() < 3 || v[1] != '=' || !std::isalpha(static_cast<unsigned char>(v[0])))
                Usage("--drive wants LETTER=DIR");
            g_config.drives[static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])))] =
                v.substr(2);
        } else if (a == "--refuse-logins") {
            g_config.refuseLogins = true;
        } else {
            Usage("unknown argument " + a);
        }
    }
}

void Log(const std::string& text) {
    std::string line = "quillane-testserver: " + text + "\n";
    (void)!::write(2, line.data(), line.size());
}

}  // namespace tdsserver
