// A sample calibration record from a real history file: two visits of one unit a year
// apart, written through the store and read back, then rendered.
//   history_record_sample OUT.html [HISTORY.db (a fresh file beside OUT)]
// The calibration points are the correction calculation's worked example (0.00 A 3,
// 1.00 A 90, multiplier 85: entries -3 .. -47, check byte 46); the year before read 1 and
// 2 steps lower.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "history/calibration_record.h"
#include "history/record_data.h"
#include "history/store.h"

using namespace kv::history;
namespace calib = kv::calib;
using namespace std::chrono;

namespace {

Stamp At(sys_days day, minutes m) {
    const sys_time<milliseconds> t = day + 9h + m;
    return {UtcText(t), duration_cast<nanoseconds>(m).count()};
}

dev::DeviceStatus StatusOf(const dev::FuseParameters &p) {
    dev::DeviceStatus s;
    s.FuseCurrent = p.FuseCurrent;
    s.ZeroOffset = p.ZeroOffset;
    s.OverloadTime = p.OverloadTime;
    s.CurrentMultiply = p.CurrentMultiply;
    s.MeasureCount = p.MeasureCount;
    s.UseAverage = p.UseAverage;
    s.UseVref = p.UseVref;
    s.DataCrc = dev::ParametersCrc(p);
    s.Flags = 0x08;
    return s;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: history_record_sample OUT.html [HISTORY.db]\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const std::string db = argc > 2 ? argv[2] : (out.parent_path() / "sample-korvane.db").string();
    for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(db + suffix);
    Store store(db);

    Context c;
    c.station = "service-bench-2";
    c.operatorName = "m.keller";
    c.toolVersion = ToolVersion();
    c.unit = "KV-240517-0042";
    c.port = "/dev/ttyUSB0";
    c.adapter = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    c.adapterSerial = "A50285BI";
    c.info = "KORVANE EF 2.1";

    std::vector<Record> records;
    const auto add = [&](Record r) { records.push_back(std::move(r)); };

    // A year before: calibrated, written, parameters set.
    const sys_days before = 2024y / 5 / 21;
    const dev::FuseParameters p0{99, 0, 12, 85, 20, true, false};
    const calib::PointList old{{0, 2}, {1000, 88}};
    const calib::CorrectionTable oldCalc = calib::CalcCorrection(old, 85, 0);
    const kv::corrtable::CorrTableData factory{};
    add(MakeRecord(c, CalibrationCalcData{old, 85, 0, oldCalc, "corrtbl.epr"}, {},
                   At(before, 0min)));
    add(MakeRecord(c, TableWriteData{"corrtbl.epr", factory, TableOf(oldCalc), "", true}, {},
                   At(before, 4min)));
    add(MakeRecord(c, ParamsSendData{StatusOf(p0), p0, StatusOf(p0), dev::ParametersCrc(p0)}, {},
                   At(before, 6min)));

    // This visit: read as found, calibrated, written with a backup and verified, the
    // overload time raised.
    const sys_days today = 2025y / 5 / 20;
    add(MakeRecord(c, ParamsReadData{p0}, {}, At(today, 0min)));
    add(MakeRecord(c, TableBackupData{TableOf(oldCalc), "backups/KV-240517-0042-before.epr"}, {},
                   At(today, 1min)));
    const calib::PointList points{{0, 3}, {1000, 90}};
    const calib::CorrectionTable calc = calib::CalcCorrection(points, 85, 0);
    add(MakeRecord(c, CalibrationCalcData{points, 85, 0, calc, "corrtbl.epr"}, {},
                   At(today, 14min)));
    add(MakeRecord(c,
                   TableWriteData{"corrtbl.epr", TableOf(oldCalc), TableOf(calc),
                                  "backups/KV-240517-0042-20250520T091500Z.epr", true},
                   {}, At(today, 15min)));
    dev::FuseParameters p1 = p0;
    p1.OverloadTime = 15;
    add(MakeRecord(c, ParamsSendData{StatusOf(p0), p1, StatusOf(p1), dev::ParametersCrc(p1)}, {},
                   At(today, 17min)));
    add(MakeRecord(c, TableVerifyData{"corrtbl.epr", TableOf(calc), TableOf(calc)}, {},
                   At(today, 18min)));

    for (Record &r : records)
        if (const Status s = store.Append(r); !s) {
            std::fprintf(stderr, "%s\n", s.message.c_str());
            return 1;
        }
    const QueryResult back = store.Read({.unit = c.unit});
    if (!back.status) {
        std::fprintf(stderr, "%s\n", back.status.message.c_str());
        return 1;
    }
    const CalibrationDocument doc = CalibrationRecordHtml(back.records, c.unit,
                                                          "Bench multimeter DMM-4, s/n 31415926, "
                                                          "calibrated 2025-02-03 (cert. 2025-0117)",
                                                          At(today, 20min).time);
    if (!doc.ok) {
        std::fprintf(stderr, "%s\n", doc.message.c_str());
        return 1;
    }
    std::ofstream(out, std::ios::binary) << doc.html;
    std::printf("%s\n", out.string().c_str());
    return 0;
}
