#pragma once

#include "CommandLine.h"
#include "Tool.h"

class QTextStream;

namespace cli {

// `tms370 devices`: the catalogue as a table on stdout.
int ListDevices(ToolServices& services);
// `tms370 ports`: the port items with their devices and whether each is there, and the
// system's serial ports; a table, or JSON for scripts.
int ListPorts(const Request& request, ToolServices& services);
// read, program, verify, erase and clear-wpo.
int RunDeviceCommand(const Request& request, ToolServices& services);
// `tms370 journal`: the journal's rows, or per series its numbers.
int ListJournal(const Request& request, ToolServices& services);
// `tms370 fields`: a recipe's named fields as an image file holds them.
int ShowFields(const Request& request, ToolServices& services);

// Rows under a header as columns padded to their widest cell.
void WriteTable(QTextStream& out, const QStringList& header, const QList<QStringList>& lines);

} // namespace cli
