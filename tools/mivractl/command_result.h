// How a subcommand that works through the library ends: text for a person, or with --json one
// object for a program, in the same vocabulary for every subcommand:
//   {"command": NAME, "result": "ok" | "failed", "code": N | null, "codeName": "MIVRA_E_..." | null, ...}
// A failure also names the step that failed ("failed") and, for a code, its "meaning". When the
// install directory cannot be resolved, every failure says why (text on standard error; JSON
// "installDir": null and "installDirProblem"), and when it resolves but the company and product
// names cannot be had, why ("productNamesProblem").
#ifndef MIVRA_TOOLS_MIVRACTL_COMMAND_RESULT_H_
#define MIVRA_TOOLS_MIVRACTL_COMMAND_RESULT_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "command_line.h"
#include "report.h"

namespace mivra::ctl {

// Where progress lines go: standard output, or standard error with --json so that standard
// output stays one JSON object.
std::ostream& ProgressStream(const CommandLine& line, std::ostream& out, std::ostream& err);

// "[3/10] " before a progress line about the third of ten items.
std::string ProgressCounter(size_t number, size_t total);

// Success: `text` for a person, or the object with result "ok", no code, and `details`' members.
int Succeed(const CommandLine& line, const std::string& text, Report details, std::ostream& out);

// The library's call `what` failed with `code` (0: it wrote none). The message goes to standard
// error; with --json the object with result "failed" and `details`' members goes to standard output.
int FailLibraryCall(const CommandLine& line, const std::string& what, uint32_t code, std::ostream& out,
                    std::ostream& err, Report details = Report::Object());

// The tool failed on its own, before or after the library's calls; `message` says what happened.
int FailWithoutCode(const CommandLine& line, const std::string& message, std::ostream& out, std::ostream& err,
                    Report details = Report::Object());

// With the install directory resolved, the names of the library's folders may still be missing:
// says why on standard error and in `report` ("productNames": null, "productNamesProblem"), or
// nothing when they are to be had.
void TellUnavailableProductNames(const std::string& command, Report* report, std::ostream& err);

// The install directory's part of a report: its path, or null and the problem that keeps it
// unresolved. Returns that problem, empty when the directory resolves.
std::string AddInstallDir(Report* report);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_COMMAND_RESULT_H_
