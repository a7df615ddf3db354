#include "options.h"

#include <algorithm>
#include <string_view>

#include "app/numbers.h"

namespace kv::sim {

const char *const kProgramHelp = R"(Usage: fusesim [options]

Serves a simulated fuse on a new pseudo-terminal until interrupted (Ctrl+C, SIGTERM).
The first line printed is the device path to open as the tool's "port".
SIGUSR1 unplugs it: the pseudo-terminal is closed and the --link removed, as when a USB
adapter is pulled ("unplugged" is printed); SIGUSR2 plugs it back in: a new pseudo-terminal,
the --link made again on the same path, the device's state kept ("plugged in DEVICE").

Line:
  --baud N               pace replies at N bit/s, 10 bits a byte (default 19200; 0: at once)
  --whole-replies        hand each paced reply over in one piece when its last byte is due,
                         as a USB adapter or a receive FIFO does (default: byte by byte)
  --link PATH            also make PATH a symbolic link to the device (replaced only if
                         it already is a symbolic link; removed at exit)
  --verbose              print every frame received and the length of its reply to stderr,
                         and at exit how many frames and table block writes came

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

Faults (codes and numbers also in hexadecimal: 0x15, $15; table blocks are 0..27):
  --silent CODE|all      no reply to CODE, or to anything
  --reply-length CODE:N  reply to CODE with N bytes (cut short, or padded with 0xEE)
  --split CODE:AT:MS     send the reply to CODE in two parts, AT bytes then a MS pause
  --flood BPS:MS         unsolicited 0x55 bytes at BPS bytes/s for MS milliseconds
  --wrong-crc            WriteData returns the parameters' CRC inverted
  --readback-mismatch B  after SetStatus, GetStatus reports record byte B (4..10) with
                         bit 0 flipped
  --table-reply BLOCK:HEX  answer table block BLOCK with the bytes HEX (e.g. 4552); a
                         write so answered stores nothing
  --table-silent-from N  no reply to table blocks N and later
  --corrupt-block K      store table block K with bit 0 of its first entry flipped, still
                         answering CR LF
  --corrupt-block-once K the same for the first write of block K only; later writes store
                         right (a one-off error)
  --ignore-block K       answer CR LF to writes of table block K but store nothing
  --ignore-block-once K  the same for the first write of block K only
  --fail-block K         answer "ER" to writes of table block K and store nothing
  --fail-block-once K    the same for the first write of block K only
  --noisy-read-block K   send each read of table block K with bit 0 of its first byte
                         flipped (a bit error on the line; the stored table stays right)
  --noisy-read-block-once K  the same for the first read of block K only
  --late-write-block K:MS  answer the first write of table block K MS ms late (stored)
  --hangup-after N       close the line when a frame arrives after N frames
  --status-byte I:V      status record byte I (0..22) always reads V
  Each fault option may be given several times (for several codes or blocks).

  --help                 this text
  --version, -V          the program's version
)";

namespace {

struct UsageError {
    std::string text;
};

[[noreturn]] void Usage(const std::string &message) {
    throw UsageError{message};
}

long Number(std::string_view text, const std::string &option) {
    auto n = kv::TryStrToInt(std::string(text));
    if (!n)
        Usage("'" + std::string(text) + "' is not a number (" + option + ")");
    return *n;
}

long InRange(long v, long lo, long hi, const std::string &option) {
    if (v < lo || v > hi)
        Usage(option + " takes " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
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

int Block(long v, const std::string &option) {
    return static_cast<int>(InRange(v, 0, kTableBlocks - 1, option));
}

std::vector<std::uint8_t> HexBytes(std::string_view hex, const std::string &option) {
    if (hex.size() % 2 != 0)
        Usage(option + ": an even number of hexadecimal digits is needed");
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out.push_back(Byte(Number("0x" + std::string(hex.substr(i, 2)), option), option));
    return out;
}

ProgramArgs Parse(const std::vector<std::string> &args) {
    ProgramArgs p;
    Options &o = p.options;
    Faults &f = o.faults;
    o.baud = 19200;
    auto value = [&](std::size_t &i) -> std::string {
        if (i + 1 >= args.size())
            Usage(args[i] + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            p.help = true;
        } else if (a == "--version" || a == "-V") {
            p.version = true;
        } else if (a == "--baud") {
            o.baud = static_cast<int>(InRange(Number(value(i), a), 0, 4000000, a));
        } else if (a == "--whole-replies") {
            o.wholeReplies = true;
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
            o.adc = static_cast<int>(InRange(Number(value(i), a), 0, 0xFFFF, a));
        } else if (a == "--params") {
            auto v = Numbers(value(i), ',', 7, a);
            FuseParams params{Byte(v[0], a), Byte(v[1], a), Byte(v[2], a), Byte(v[3], a),
                              Byte(v[4], a), Byte(v[5], a), Byte(v[6], a)};
            o.held = o.stored = params;
        } else if (a == "--manual-off") {
            o.manualSwitchOff = true;
        } else if (a == "--relay-on") {
            o.relayOn = true;
        } else if (a == "--relay-off-count") {
            o.relayOffCount = static_cast<std::uint16_t>(InRange(Number(value(i), a), 0, 65535, a));
        } else if (a == "--info") {
            o.info = value(i);
        } else if (a == "--silent") {
            const std::string v = value(i);
            if (v == "all")
                f.silentAll = true;
            else
                f.silent.insert(Byte(Number(v, a), a));
        } else if (a == "--reply-length") {
            auto v = Numbers(value(i), ':', 2, a);
            f.replyLength[Byte(v[0], a)] = static_cast<int>(std::max(0L, v[1]));
        } else if (a == "--split") {
            auto v = Numbers(value(i), ':', 3, a);
            f.split[Byte(v[0], a)] = {static_cast<int>(v[1]), static_cast<int>(v[2])};
        } else if (a == "--flood") {
            auto v = Numbers(value(i), ':', 2, a);
            p.floodBytesPerSecond = static_cast<int>(v[0]);
            p.floodMs = static_cast<int>(v[1]);
        } else if (a == "--wrong-crc") {
            f.wrongWriteCrc = true;
        } else if (a == "--readback-mismatch") {
            f.readBackMismatch = static_cast<int>(InRange(Number(value(i), a), 4, 10, a));
        } else if (a == "--table-reply") {
            const std::string v = value(i);
            const auto colon = v.find(':');
            if (colon == std::string::npos)
                Usage(a + " takes BLOCK:HEX");
            f.tableBlockReply[Block(Number(v.substr(0, colon), a), a)] =
                HexBytes(std::string_view(v).substr(colon + 1), a);
        } else if (a == "--table-silent-from") {
            f.tableSilentFrom = Block(Number(value(i), a), a);
        } else if (a == "--corrupt-block" || a == "--corrupt-block-once") {
            f.corruptBlock[Block(Number(value(i), a), a)] =
                a.ends_with("-once") ? Faults::Times::Once : Faults::Times::Always;
        } else if (a == "--ignore-block" || a == "--ignore-block-once") {
            f.ignoreBlock[Block(Number(value(i), a), a)] =
                a.ends_with("-once") ? Faults::Times::Once : Faults::Times::Always;
        } else if (a == "--fail-block" || a == "--fail-block-once") {
            f.failBlock[Block(Number(value(i), a), a)] =
                a.ends_with("-once") ? Faults::Times::Once : Faults::Times::Always;
        } else if (a == "--noisy-read-block" || a == "--noisy-read-block-once") {
            f.noisyReadBlock[Block(Number(value(i), a), a)] =
                a.ends_with("-once") ? Faults::Times::Once : Faults::Times::Always;
        } else if (a == "--late-write-block") {
            const std::string v = value(i);
            const auto colon = v.find(':');
            if (colon == std::string::npos)
                Usage(a + " takes BLOCK:MS");
            f.lateWriteBlock[Block(Number(v.substr(0, colon), a), a)] =
                static_cast<int>(InRange(Number(v.substr(colon + 1), a), 1, 60000, a));
        } else if (a == "--hangup-after") {
            f.hangUpAfterFrames =
                static_cast<std::size_t>(InRange(Number(value(i), a), 0, 1L << 30, a));
        } else if (a == "--status-byte") {
            auto v = Numbers(value(i), ':', 2, a);
            if (v[0] < 0 || v[0] >= kRecordSize)
                Usage(a + ": the record has bytes 0..22");
            f.statusOverride[static_cast<int>(v[0])] = Byte(v[1], a);
        } else {
            Usage("unknown option " + a);
        }
    }
    return p;
}

} // namespace

std::variant<ProgramArgs, std::string> ParseProgramArgs(const std::vector<std::string> &args) {
    try {
        return Parse(args);
    } catch (const UsageError &e) {
        return e.text;
    }
}

} // namespace kv::sim
