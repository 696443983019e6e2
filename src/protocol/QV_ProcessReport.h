#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class TQV_ProcessState;
class TQV_ReportStruct;

// Report processing: turns a binary report (two header bytes, most significant first, and the
// payload in the instrument's packed number formats) into its text report line or record, using
// and updating the per-source state. Lines are built into a caller's string whose capacity is
// reused: an empty line means "no report to pass on".
//
// Every measurement value is ";" + a fixed-width column (26 characters, 13 for interval-counter
// values). A value that does not fit shows as a column of '#' (never a cut, different number).

// Width of one measurement value column and the longest line of a report.
constexpr int QV_ValueColumnWidth = 26;
constexpr int QV_IVCColumnWidth = 13;
constexpr size_t QV_MaxLineLength = 4 + 24 * (1 + QV_ValueColumnWidth) + 512;

// Binary reports of USB, serial, network and CAN devices; the device's peer type picks the
// Coldfire or the network-module dialect.
void ProcessBinReport(TQV_ProcessState& state, std::string_view report, std::string& line);
// The next report of a packed block (while state.PackCount > 0).
void ProcessPackedReport(TQV_ProcessState& state, std::string& line);
// Reports of the simulator (8-byte doubles); a "7902" text line passes unchanged.
void ProcessDemoReport(TQV_ProcessState& state, std::string_view report, std::string& line);
// Text lines of text files and TCP clients: tallies and flags only.
void ProcessTxtReport(TQV_ProcessState& state, std::string_view line);
// Header of a forwarded text line: its flags are taken as in ProcessTxtReport's header step; `rest`
// receives the line without the four digits and a following ";", trimmed. False for a line
// without a hexadecimal header.
bool ParseTxtReportHeader(TQV_ProcessState& state, std::string_view line, std::string_view& rest);

// Takes the header of a binary report into the state (FHeader, FdasSindMessdaten, FDataHeader,
// packed block) and gives the payload of the (first) report. Values are 8 bytes wide for the
// network module or when asked, else 7. False for a report too short to carry a header.
bool CheckHeader(TQV_ProcessState& state, std::string_view report, bool eightByteValues, std::string_view& payload);
// The line of one report whose header is in state.FHeader (Coldfire / network-module dialect).
void ProcessBinData(TQV_ProcessState& state, std::string_view payload, std::string& line);
void ProcessESPBinData(TQV_ProcessState& state, std::string_view payload, std::string& line);

// ---- Structured path ----
// A binary Coldfire report as a record (measurements, interval-counter data, messages).
void ProcessBinReportStruct(TQV_ProcessState& state, std::string_view report, TQV_ReportStruct& record);
// Text line -> record.
void ConvertAsciiZCTMeasurmentReport(const TQV_ProcessState& state, std::string_view line, TQV_ReportStruct& record);
void ConvertAsciiIVCMeasurmentReport(const TQV_ProcessState& state, std::string_view line, TQV_ReportStruct& record);
void ConvertAsciiMessageReport(const TQV_ProcessState& state, std::string_view line, TQV_ReportStruct& record);
// Network-module records: phases restored and extended, frequencies scaled; interval-counter groups.
void ProcessESPreport(TQV_ProcessState& state, TQV_ReportStruct& record);
void ProcessESP_IVCreport(TQV_ProcessState& state, TQV_ReportStruct& record);
// Record -> text line (for the source's report stream).
void ReportStructToLine(TQV_ProcessState& state, const TQV_ReportStruct& record, std::string& line);

// ---- Binary output ----
// The report as the source's binary interface hands it out (empty: nothing to hand out).
void ProcessBinReportBinOutput(TQV_ProcessState& state, std::string_view report, std::string& out);
void ProcessPackedReportBinOutput(TQV_ProcessState& state, std::string& out);
