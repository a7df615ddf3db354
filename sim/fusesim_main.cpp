// fusesim: the simulated fuse as a program, for the demo and for trying the tool by hand.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/numbers.h"
#include "fuse_sim.h"

namespace {

constexpr const char *kHelp = R"(Usage: fusesim [options]

Serves a simulated fuse on a new pseudo-terminal until interrupted (Ctrl+C, SIGTERM).
The first line printed is the device path to open as the tool's "port".

Line:
  --baud N               pace replies at N bit/s, 10 bits a byte (default 19200; 0: at once)
  --link PATH            also make PATH a symbolic link to the device (replaced only if
                         it already is a symbolic link; removed at exit)
  --verbose              print every frame received and the length of its reply to stderr

Device state:
  --current A            load current in amperes (default 0); ADC = round(A x multiply),
                         limited to 0..1023
  --adc N                report ADC reading N whatever the load current
  --params FC,ZO,MUL,OT,VREF,AVG,CNT
                         held and stored parameters in status-record order
                         (default 99,0,10,0,0,0,20)
  --manual-off           manual switch off: relay commands are refused
  --relay-on             relay on at start
  --relay-off-count N    last relay off time in 1.024 ms units
  --info TEXT            Info text (14 characters, padded or cut; default "Fuse sim v1.00")

Faults (codes and numbers also in hexadecimal: 0x15, $15):
  --silent CODE|all      no reply to CODE, or to anything
  --reply-length CODE:N  reply to CODE with N bytes (cut short, or padded with 0xEE)
  --split CODE:AT:MS     send the reply to CODE in two parts, AT bytes then a MS pause
  --flood BPS:MS         unsolicited 0x55 bytes at BPS bytes/s for MS milliseconds
  --wrong-crc            WriteData returns the parameters' CRC inverted
  --readback-mismatch B  after SetStatus, GetStatus reports record byte B (4..10) with
                         bit 0 flipped
  --table-reply BLOCK:HEX  answer table block BLOCK (0..27) with the bytes HEX (e.g. 4552)
  --table-silent-from N  no reply to table blocks N and later
  --hangup-after N       close the line when a frame arrives after N frames
  --status-byte I:V      status record byte I (0..22) always reads V

  --help                 this text
)";

volatile sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

[[noreturn]] void Usage(const std::string &message) {
    std::fprintf(stderr, "fusesim: %s\n(fusesim --help lists the options)\n", message.c_str());
    std::exit(2);
}

long Number(std::string_view text, const std::string &option) {
    auto n = kv::TryStrToInt(std::string(text));
    if (!n)
        Usage("'" + std::string(text) + "' is not a number (" + option + ")");
    return *n;
}

std::vector<long> Numbers(std::string_view text, char sep, std::size_t count,
                          const std::string &option) {
    std::vector<long> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(sep, start);
        out.push_back(Number(text.substr(start, end - start), option));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (out.size() != count)
        Usage(option + " takes " + std::to_string(count) + " values separated by '" + sep + "'");
    return out;
}

std::uint8_t Byte(long v, const std::string &option) {
    if (v < 0 || v > 255)
        Usage(option + ": " + std::to_string(v) + " is not a byte value (0..255)");
    return static_cast<std::uint8_t>(v);
}

std::vector<std::uint8_t> HexBytes(std::string_view hex, const std::string &option) {
    if (hex.size() % 2 != 0)
        Usage(option + ": an even number of hexadecimal digits is needed");
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out.push_back(Byte(Number("0x" + std::string(hex.substr(i, 2)), option), option));
    return out;
}

} // namespace

int main(int argc, char **argv) {
    kv::sim::Options o;
    o.baud = 19200;
    std::vector<std::string> args(argv + 1, argv + argc);
    int floodBps = 0;
    int floodMs = 0;
    auto value = [&](std::size_t &i) -> std::string {
        if (i + 1 >= args.size())
            Usage(args[i] + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--baud") {
            o.baud = static_cast<int>(Number(value(i), a));
        } else if (a == "--link") {
            o.linkPath = value(i);
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--current") {
            const std::string v = value(i);
            auto d = kv::TryStrToFloat(v);
            if (!d || *d < 0)
                Usage("'" + v + "' is not a current in amperes");
            o.loadCurrent = *d;
        } else if (a == "--adc") {
            o.adc = static_cast<int>(Number(value(i), a));
        } else if (a == "--params") {
            auto v = Numbers(value(i), ',', 7, a);
            kv::sim::FuseParams p{Byte(v[0], a), Byte(v[1], a), Byte(v[2], a), Byte(v[3], a),
                                  Byte(v[4], a), Byte(v[5], a), Byte(v[6], a)};
            o.held = o.stored = p;
        } else if (a == "--manual-off") {
            o.manualSwitchOff = true;
        } else if (a == "--relay-on") {
            o.relayOn = true;
        } else if (a == "--relay-off-count") {
            const long v = Number(value(i), a);
            if (v < 0 || v > 65535)
                Usage(a + " takes 0..65535");
            o.relayOffCount = static_cast<std::uint16_t>(v);
        } else if (a == "--info") {
            o.info = value(i);
        } else if (a == "--silent") {
            const std::string v = value(i);
            if (v == "all")
                o.faults.silentAll = true;
            else
                o.faults.silent.insert(Byte(Number(v, a), a));
        } else if (a == "--reply-length") {
            auto v = Numbers(value(i), ':', 2, a);
            o.faults.replyLength[Byte(v[0], a)] = static_cast<int>(std::max(0L, v[1]));
        } else if (a == "--split") {
            auto v = Numbers(value(i), ':', 3, a);
            o.faults.split[Byte(v[0], a)] = {static_cast<int>(v[1]), static_cast<int>(v[2])};
        } else if (a == "--flood") {
            auto v = Numbers(value(i), ':', 2, a);
            floodBps = static_cast<int>(v[0]); // starts once the line is up
            floodMs = static_cast<int>(v[1]);
        } else if (a == "--wrong-crc") {
            o.faults.wrongWriteCrc = true;
        } else if (a == "--readback-mismatch") {
            o.faults.readBackMismatch = static_cast<int>(Number(value(i), a));
        } else if (a == "--table-reply") {
            const std::string v = value(i);
            const auto colon = v.find(':');
            if (colon == std::string::npos)
                Usage(a + " takes BLOCK:HEX");
            o.faults.tableBlockReply[static_cast<int>(Number(v.substr(0, colon), a))] =
                HexBytes(std::string_view(v).substr(colon + 1), a);
        } else if (a == "--table-silent-from") {
            o.faults.tableSilentFrom = static_cast<int>(Number(value(i), a));
        } else if (a == "--hangup-after") {
            o.faults.hangUpAfterFrames = static_cast<int>(Number(value(i), a));
        } else if (a == "--status-byte") {
            auto v = Numbers(value(i), ':', 2, a);
            if (v[0] < 0 || v[0] >= kv::sim::kRecordSize)
                Usage(a + ": the record has bytes 0..22");
            o.faults.statusOverride[static_cast<int>(v[0])] = Byte(v[1], a);
        } else {
            Usage("unknown option " + a);
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    kv::sim::FuseSim sim(o);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "fusesim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.DevicePath().c_str());
    if (!o.linkPath.empty())
        std::printf("linked as %s\n", o.linkPath.c_str());
    std::fflush(stdout);
    if (floodBps > 0)
        sim.Flood(floodBps, floodMs);
    // After a hang-up fault the line is gone: the program ends like an unplugged device.
    while (!gStop && !sim.HungUp())
        ::usleep(100 * 1000);
    sim.Stop();
    return 0;
}
