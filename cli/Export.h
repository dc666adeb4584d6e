// One export of a record file to an output file, shared by export and export-all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "export/Export.h"

namespace plotwick::cli {

using ExportOptions = plotwick::ExportOptions;

// The output extensions the exporter writes, lower case, without the dot.
const std::vector<std::string>& ExportFormats();
// The format of an output path (its extension, lower-cased), or empty when unsupported.
std::string ExportFormatOf(const std::string& path);

// Options shared by export and export-all.
OptionSpec ExportOptionSpec();
ExportOptions ReadExportOptions(const ParsedArgs& args);
extern const char* const kExportOptionHelp;

// Exports one record (fonts already loaded). Data errors are raised as PathError naming the
// record, write errors as PathError naming the output; nothing is written on failure.
void ExportRecord(const std::string& record, const std::string& output, const std::string& format,
                  const ExportOptions& options,
                  files::Target target = files::Target::Unknown);

}  // namespace plotwick::cli
