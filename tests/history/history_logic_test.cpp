// The records: times, unit names, each kind's data read back from its JSON, and the three
// listings (text, JSON lines, CSV).
#include <gtest/gtest.h>

#include "app/format.h"
#include "history/record_data.h"
#include "history/render.h"
#include "history_samples.h"

using namespace kv::history;
namespace calib = kv::calib;
namespace json = kv::json;

namespace {

Context Ctx() {
    return kvtest::BenchContext();
}

const Stamp kStamp{"2025-05-20T14:03:07.123Z", 42};

corr::CorrTableData SampleTable() {
    corr::CorrTableData t{};
    for (std::size_t n = 0; n < corr::kCorrections; ++n)
        t[n] = static_cast<std::int8_t>(static_cast<int>(n % 255) - 127);
    t[corr::kCheckIndex] = static_cast<std::int8_t>(corr::TableCrc(t));
    return t;
}

} // namespace

TEST(HistoryTime, UtcTextAndBack) {
    using namespace std::chrono;
    struct Row {
        sys_time<milliseconds> t;
        const char *text;
    };
    const Row rows[] = {
        {sys_days{1970y / 1 / 1} + 0ms, "1970-01-01T00:00:00.000Z"},
        {sys_days{2024y / 2 / 29} + 23h + 59min + 59s + 999ms, "2024-02-29T23:59:59.999Z"},
        {sys_days{2025y / 5 / 20} + 14h + 3min + 7s + 5ms, "2025-05-20T14:03:07.005Z"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(UtcText(r.t), r.text);
        EXPECT_EQ(UtcMilliseconds(r.text), r.t.time_since_epoch().count());
    }
    EXPECT_EQ(UtcMilliseconds("2025-05-20T14:03:07"), UtcMilliseconds("2025-05-20T14:03:07.000Z"));
    for (const char *bad : {"2025-02-29T00:00:00Z", "2025-05-20 14:03:07", "2025-05-20T24:00:00",
                            "2025-05-20T14:03:07.1Z", "2025-05-20T14:03:07Zx", "", "yesterday"})
        EXPECT_FALSE(UtcMilliseconds(bad)) << bad;
    const Stamp now = Now();
    EXPECT_TRUE(UtcMilliseconds(now.time));
    EXPECT_LE(now.monoNs, Now().monoNs);
}

TEST(HistoryTime, SinceAcceptsDatesAndTimes) {
    struct Row {
        const char *in;
        const char *out; // nullptr: refused
    };
    const Row rows[] = {
        {"2025-05-20", "2025-05-20T00:00:00.000Z"},
        {" 2025-05-20T14:03 ", "2025-05-20T14:03:00.000Z"},
        {"2025-05-20 14:03:07", "2025-05-20T14:03:07.000Z"},
        {"2025-05-20T14:03:07Z", "2025-05-20T14:03:07.000Z"},
        {"2999-01-01", "2999-01-01T00:00:00.000Z"}, // beyond the system clock's range
        {"2025-5-20", nullptr},
        {"2025-13-01", nullptr},
        {"20.05.2025", nullptr},
        {"2025-05-20T14", nullptr},
        {"", nullptr},
    };
    for (const Row &r : rows) {
        const auto since = ParseSince(r.in);
        if (r.out)
            EXPECT_EQ(since, r.out) << r.in;
        else
            EXPECT_FALSE(since) << r.in;
    }
}

TEST(HistoryRecord, UnitNamesAreTrimmedAndChecked) {
    struct Row {
        std::string in;
        const char *out; // nullptr: refused
    };
    const Row rows[] = {
        {"SN-1234\r", "SN-1234"}, // a scanner's Enter
        {"\t SN 12 \n", "SN 12"},
        {"", ""},
        {"SN\x1b"
         "12",
         nullptr},
        {std::string(kMaxUnitLength + 1, 'X'), nullptr},
    };
    for (const Row &r : rows) {
        std::string error;
        const auto unit = CleanUnit(r.in, &error);
        if (r.out) {
            EXPECT_EQ(unit, r.out);
        } else {
            EXPECT_FALSE(unit) << r.in;
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_TRUE(CleanUnit(std::string(kMaxUnitLength, 'X') + " "));
}

TEST(HistoryRecord, ContextAndOutcomeAreStamped) {
    const Record r = MakeRecord(Ctx(), RelayData{true}, Outcome::Failed("Relay refused"), kStamp);
    EXPECT_EQ(r.time, kStamp.time);
    EXPECT_EQ(r.monoNs, 42);
    EXPECT_EQ(r.operation, "relay");
    EXPECT_EQ(r.Op(), Operation::Relay);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Relay refused");
    EXPECT_EQ(r.unit, "SN-1");
    EXPECT_EQ(json::Write(r.data), R"({"on":true})");
    EXPECT_EQ(MakeRecord(Ctx(), Operation::Restart, {}, {}, kStamp).data, json::Value::object());

    // A port the system does not list (a pseudo-terminal) leaves no adapter of the port
    // before it behind.
    Context moved = Ctx();
    moved.adapter = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    moved.adapterSerial = "A50285BI";
    SetPort(moved, "/dev/pts/7", {"/nonexistent/sys", "/nonexistent/dev"});
    EXPECT_EQ(moved.port, "/dev/pts/7");
    EXPECT_EQ(moved.adapter, "");
    EXPECT_EQ(moved.adapterSerial, "");

    const Context d = DefaultContext();
    EXPECT_FALSE(d.station.empty());
    EXPECT_EQ(d.toolVersion, ToolVersion());
    EXPECT_TRUE(d.unit.empty());
}

TEST(HistoryRecord, OperationNamesAreUniqueAndFindTheirOperation) {
    for (const OperationInfo &i : Operations()) {
        EXPECT_EQ(OperationFromName(i.name), i.operation);
        EXPECT_EQ(OperationName(i.operation), i.name);
    }
    EXPECT_FALSE(OperationFromName("table_write"));
    EXPECT_TRUE(ChangesDevice(Operation::TableWrite));
    EXPECT_FALSE(ChangesDevice(Operation::TableVerify));
}

TEST(HistoryData, PiecesReadBackFromTheirJson) {
    const corr::CorrTableData t = SampleTable();
    EXPECT_EQ(TableFromJson(*json::Parse(json::Write(TableJson(t)))), t);
    corr::CorrTableData odd{};
    odd[0] = -128; // only a table file can hold it; it must survive
    odd[corr::kCheckIndex] = -1;
    EXPECT_EQ(TableFromJson(TableJson(odd)), odd);
    EXPECT_EQ(TableJson(odd)["crc"].get<long long>(), corr::TableCrc(odd));

    const dev::FuseParameters p{99, 3, 12, 85, 20, true, false};
    EXPECT_EQ(ParametersFromJson(ParametersJson(p)), p);
    EXPECT_EQ(json::Write(ParametersJson(p)),
              R"({"FuseCurrent":99,"ZeroOffset":3,"OverloadTimer":12,"ADCcurrentMultiply":85,)"
              R"("MeasureCount":20,"UseAverage":true,"UseVref":false})");

    dev::DeviceStatus s;
    s.PortC = dev::kRelayOnBit;
    s.FuseCurrent = 55;
    s.UseVref = 2; // any byte but 0 counts as set
    s.DataCrc = 0x9D;
    s.Reserved22 = 7;
    const auto back = StatusFromJson(StatusJson(s));
    ASSERT_TRUE(back);
    EXPECT_EQ(dev::StatusToBytes(*back), dev::StatusToBytes(s));
    EXPECT_TRUE(StatusJson(s)["relay_on"].get<bool>());
    EXPECT_TRUE(StatusJson(s)["parameters"]["UseVref"].get<bool>());

    const calib::PointList pts{{0, 3}, {800, 90}, {-5, 2147483647}};
    EXPECT_EQ(PointsFromJson(PointsJson(pts)), pts);
}

TEST(HistoryData, DamagedPiecesAreRefusedNotGuessed) {
    const char *tables[] = {
        R"({"entries":[1,2,3]})", // too short
        R"({"entries":"1 2 3"})", // not a list
        R"({})",
    };
    for (const char *t : tables)
        EXPECT_FALSE(TableFromJson(*json::Parse(t))) << t;
    json::Value tooLarge = json::Value::array({128});
    for (std::size_t i = 1; i < corr::kEntries; ++i)
        tooLarge.push_back(0);
    EXPECT_FALSE(TableFromJson(json::Value{{"entries", tooLarge}}));

    EXPECT_FALSE(ParametersFromJson(*json::Parse(R"({"FuseCurrent":300})")));
    EXPECT_FALSE(StatusFromJson(*json::Parse(R"({"record":[1,2,3]})")));
    EXPECT_FALSE(PointsFromJson(*json::Parse(R"([{"mA":1.5,"adc":3}])")));
}

TEST(HistoryData, EachKindSaysWhatHappened) {
    dev::DeviceStatus before;
    before.FuseCurrent = 50;
    const dev::FuseParameters sent{99, 0, 12, 85, 20, true, false};
    const std::uint8_t crc = dev::ParametersCrc(sent);

    struct Row {
        Record record;
        std::string summary;
    };
    const corr::CorrTableData t = SampleTable();
    const std::string crcText = kv::Format("0x%0.2X", {corr::TableCrc(t)});
    corr::CorrTableData other = t;
    other[5] = 0;
    other[9] = 1;
    calib::CorrectionTable calc = calib::CalcCorrection({{0, 3}, {1000, 90}}, 85, 0);
    dev::CurrentSample sample;
    sample.AdcHi = 2;
    sample.Current = 12.345;
    const Row rows[] = {
        {MakeRecord(Ctx(), ParamsSendData{before, sent, std::nullopt, crc}, {}, kStamp),
         "FuseCurrent=99 ZeroOffset=0 OverloadTimer=12 ADCcurrentMultiply=85 MeasureCount=20 "
         "UseAverage=1 UseVref=0, CRC 0x02 OK"},
        {MakeRecord(Ctx(), ParamsSendData{{}, sent, {}, 0x12}, Outcome::Failed("CRC NOT OK!"),
                    kStamp),
         "FuseCurrent=99 ZeroOffset=0 OverloadTimer=12 ADCcurrentMultiply=85 MeasureCount=20 "
         "UseAverage=1 UseVref=0, CRC 0x12 (calculated 0x02)"},
        {MakeRecord(Ctx(), ParamsCrcData{sent, crc}, {}, kStamp), "calculated 0x02, returned 0x02"},
        {MakeRecord(Ctx(), StatusReadData{before, true}, {}, kStamp),
         "stored, FuseCurrent=50 ZeroOffset=0 OverloadTimer=0 ADCcurrentMultiply=0 "
         "MeasureCount=0 UseAverage=0 UseVref=0"},
        {MakeRecord(Ctx(), RelayData{false}, {}, kStamp), "off"},
        {MakeRecord(Ctx(), CurrentReadData{sample, false}, {}, kStamp), "12.35 A (ADC 512)"},
        {MakeRecord(Ctx(), CurrentSeriesData{"a", "b", 1.5, 120, 2, "/x/k.adc"}, {}, kStamp),
         "120 measurements, 2 failed, every 1.5 s, log /x/k.adc"},
        {MakeRecord(Ctx(), TableWriteData{"/t/a.epr", other, t, "/b/x.epr", true}, {}, kStamp),
         "table crc " + crcText + ", verified from /t/a.epr"},
        {MakeRecord(Ctx(), TableReadData{t, ""}, {}, kStamp), "table crc " + crcText},
        {MakeRecord(Ctx(), TableVerifyData{"", t, other}, Outcome::Failed("differ"), kStamp),
         "2 entries differ"},
        {MakeRecord(Ctx(), TableVerifyData{"", t, std::nullopt}, Outcome::Failed("x"), kStamp), ""},
        {MakeRecord(Ctx(), CalibrationCalcData{{{0, 3}, {1000, 90}}, 85, 0, calc, "c.epr"}, {},
                    kStamp),
         "2 points, M=85 Z=0, table crc 0x2E"},
        {MakeRecord(
             Ctx(),
             CalibrationCalcData{{{0, 3}}, 85, 0, calib::CalcCorrection({{0, 3}}, 85, 0), ""}, {},
             kStamp),
         "nothing-to-do"},
        {MakeRecord(Ctx(), IncludeGenerateData{"a.epr", "corrtable.inc", t}, {}, kStamp),
         "a.epr -> corrtable.inc"},
        {MakeRecord(Ctx(), RestartData{}, {}, kStamp), ""},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(Summary(r.record), r.summary) << r.record.operation;
        // Every kind's data survives its own text.
        EXPECT_EQ(json::Parse(json::Write(r.record.data)), r.record.data);
    }
    EXPECT_EQ(rows[0].record.data["crc"]["ok"], json::Value(true));
    EXPECT_EQ(rows[1].record.data["crc"]["ok"], json::Value(false));
    EXPECT_TRUE(rows[1].record.data["before"].is_null());
    EXPECT_EQ(TableFromJson(rows[11].record.data["table"]), TableOf(calc));
    EXPECT_TRUE(rows[12].record.data["table"].is_null());
}

TEST(HistoryListing, TextJsonAndCsvCarryTheSameRecord) {
    Context c = Ctx();
    c.unit = "";
    c.operatorName = "=cmd|' /C calc'!A0"; // what a spreadsheet would run
    c.info = "KORVANE FUSE v2.1\xe9";      // a device's Latin-1 byte: replaced
    Record r = MakeRecord(c, TableReadData{SampleTable(), "/t/x,y.epr"},
                          Outcome::Failed("Receive error!\r\nline two"), kStamp);
    r.id = 7;

    const std::string text = TextLine(r);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.rfind("2025-05-20T14:03:07.123Z  -  table-read  failed: Receive error!  line "
                         "two  port=/dev/ttyUSB0 station=bench-2 operator==cmd",
                         0),
              0u)
        << text;

    const auto j = json::Parse(JsonLine(r));
    ASSERT_TRUE(j);
    for (const char *key : {"time", "unit", "operation", "ok", "port", "station", "operator"})
        EXPECT_TRUE(j->contains(key)) << key;
    EXPECT_EQ((*j)["id"].get<long long>(), 7);
    EXPECT_EQ((*j)["ok"], json::Value(false));
    EXPECT_EQ((*j)["info"].get<std::string>(), "KORVANE FUSE v2.1\xef\xbf\xbd");
    EXPECT_EQ((*j)["data"], r.data);

    const std::string csv = CsvRow(r);
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    EXPECT_NE(csv.find(",false,\"Receive error!\r\nline two\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",'=cmd|' /C calc'!A0,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"{\"\"table\"\":{\"\"entries\"\":["), std::string::npos);
    EXPECT_EQ(CsvHeader().rfind("id,time,unit,operation,ok,message,port,", 0), 0u);

    const Record rows[] = {r, r};
    EXPECT_EQ(Render(rows, ListingFormat::Csv), CsvHeader() + csv + csv);
    EXPECT_EQ(Render(rows, ListingFormat::Json), JsonLine(r) + "\n" + JsonLine(r) + "\n");
    EXPECT_EQ(Render({}, ListingFormat::Text), "");
}
