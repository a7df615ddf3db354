// The calibration record of a unit: a printable one-file HTML document made from the
// unit's history, with the calibration points and their graph, the correction table
// written, the device's parameters and table as found and as left, and the drift since
// the unit's previous as-left state.
//
// What is taken from where (the unit's records, oldest first):
//
//  - The calibration: the unit's last successful calibration-calc that produced a table.
//  - The visit: the unit's records around the calibration with no gap of more than
//    kVisitGap between neighbours (one bench session; a unit that comes back the next day
//    starts a new visit). Everything below is looked for within the visit, unless it
//    says "before the visit".
//  - The table written: the last successful table-write after the calibration. None, or
//    a successful table-restore after it (the calculated table is no longer in the
//    unit), refuses the record.
//  - As found, for the table and for the parameters separately: the device's state before
//    the visit's first change of it. That is the `before` (the state read just before
//    writing) of the visit's first table-write or table-restore (first params-send for
//    the parameters), whether it succeeded or not, since a failed write may have changed
//    part of the device; without `before`, the latest read before that change
//    (table-read, table-backup, table-verify's `found`; params-read, status-read). With
//    neither, as found is "not recorded", never assumed.
//  - As left: the table written; the parameters as last known in the visit (the read-back
//    of a params-send, or the values sent when it was not read back, or a later read);
//    when the visit sent no parameters, as found, marked unchanged.
//  - Previous as left: the latest state known before the visit (after data of a write,
//    or a read), for the table and the parameters; the previous calibration: the last
//    successful calibration-calc before the visit. Drift compares this visit's as-found
//    with the previous as-left, and this calibration's points with the previous
//    calibration's at the same currents.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>

#include "calib/cal_grid.h"
#include "corrtable/table.h"
#include "device/parameters.h"
#include "history/record.h"

namespace kv::history {

inline constexpr std::chrono::hours kVisitGap{12};

template <class T> struct Known {
    std::optional<T> value;
    const Record *from = nullptr; // the record it was taken from
};

struct CalibrationSession {
    const Record *calibration = nullptr;
    const Record *tableWrite = nullptr;
    calib::PointList points;
    int multiplier = 0;
    int zeroOffset = 0;
    corrtable::CorrTableData calculated{};
    corrtable::CorrTableData written{};
    std::optional<bool> verified; // by the write's read-back or a later table-verify
    Known<corrtable::CorrTableData> tableFound, previousTable;
    Known<device::FuseParameters> parametersFound, parametersLeft, previousParameters;
    bool parametersSent = false; // the visit sent parameters
    const Record *previousCalibration = nullptr;
    calib::PointList previousPoints;
    const Record *visitFirst = nullptr;
    const Record *visitLast = nullptr;
    const Record *laterChange = nullptr; // the first device change after the visit
    bool severalStations = false;        // the records come from more than one station
};

struct CalibrationAnalysis {
    std::optional<CalibrationSession> session;
    std::string refusal; // why there is none, for the user
};

// Finds the calibration, the visit and the states; records must be one unit's, oldest
// first, and outlive the result (it points into them).
CalibrationAnalysis AnalyzeCalibration(std::span<const Record> records, const std::string &unit);

// The calibration graph as the calibration window draws it, as inline SVG of W x H pixels
// (and a strip below for the axis value): the curve scaled so that its point of largest
// current lands in the top right corner, a dotted reference line from its start, crosses
// on the points, the end values written at the axes for print. points: not empty.
inline constexpr int kGraphWidth = 320;
inline constexpr int kGraphHeight = 210;
std::string CalibrationGraphSvg(calib::PointList points, int width, int height);

struct CalibrationDocument {
    bool ok = false;
    std::string html;    // the document when ok
    std::string message; // the refusal otherwise
};

// The file a unit's record is saved in by default: "calibration-SN-1234.html", any
// character of the serial number that a file name may not hold replaced by "_".
std::string CalibrationRecordFileName(const std::string &unit);

// The document for the unit; `reference` names the reference instrument, `madeAt` is the
// UTC time text the document is made at (see Stamp).
CalibrationDocument CalibrationRecordHtml(std::span<const Record> records, const std::string &unit,
                                          const std::string &reference, const std::string &madeAt);

} // namespace kv::history
