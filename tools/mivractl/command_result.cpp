#include "command_result.h"

#include "error_names.h"
#include "install_dir_problem.h"
#include "install_paths.h"
#include "product_names_problem.h"

namespace mivra::ctl {
namespace {

Report Outcome(const CommandLine& line, bool ok, uint32_t code) {
  Report report = Report::Object();
  report.Set("command", Report::Text(line.command)).Set("result", Report::Text(ok ? "ok" : "failed"));
  const ErrorName* name = FindErrorName(code);
  report.Set("code", code == 0 ? Report::Null("none") : Report::Number(code));
  report.Set("codeName", name ? Report::Text(name->name) : Report::Null("none"));
  return report;
}

// Says on standard error why the install directory is unresolved, and puts the same in `report`.
// Returns false when it is unresolved.
bool TellUnresolvedInstallDir(const CommandLine& line, Report* report, std::ostream& err) {
  const std::string problem = InstallDirProblem();
  if (problem.empty()) return true;
  err << "mivractl " << line.command << ": the install directory cannot be resolved: " << problem << "\n";
  report->Set("installDir", Report::Null("unresolved")).Set("installDirProblem", Report::Text(problem));
  return false;
}

int Fail(const CommandLine& line, Report report, Report details, std::ostream& out, std::ostream& err) {
  if (TellUnresolvedInstallDir(line, &report, err)) TellUnavailableProductNames(line.command, &report, err);
  report.Merge(std::move(details));
  if (line.json) out << RenderJson(report);
  return kExitFailed;
}

}  // namespace

std::ostream& ProgressStream(const CommandLine& line, std::ostream& out, std::ostream& err) {
  return line.json ? err : out;
}

std::string ProgressCounter(size_t number, size_t total) {
  std::string counter = "[";
  counter.append(std::to_string(number)).append("/").append(std::to_string(total)).append("] ");
  return counter;
}

int Succeed(const CommandLine& line, const std::string& text, Report details, std::ostream& out) {
  if (!line.json) {
    out << text;
    return kExitOk;
  }
  Report report = Outcome(line, true, 0);
  report.Merge(std::move(details));
  out << RenderJson(report);
  return kExitOk;
}

int FailLibraryCall(const CommandLine& line, const std::string& what, uint32_t code, std::ostream& out,
                    std::ostream& err, Report details) {
  ReportLibraryFailure(line.command.c_str(), what, code, err);
  Report report = Outcome(line, false, code);
  report.Set("failed", Report::Text(what));
  if (code != 0) {
    const ErrorName* name = FindErrorName(code);
    report.Set("meaning", Report::Text(name ? name->meaning : "not a code of the library"));
  }
  return Fail(line, std::move(report), std::move(details), out, err);
}

int FailWithoutCode(const CommandLine& line, const std::string& message, std::ostream& out, std::ostream& err,
                    Report details) {
  err << "mivractl " << line.command << ": " << message << "\n";
  Report report = Outcome(line, false, 0);
  report.Set("message", Report::Text(message));
  return Fail(line, std::move(report), std::move(details), out, err);
}

void TellUnavailableProductNames(const std::string& command, Report* report, std::ostream& err) {
  const std::string problem = ProductNamesProblem();
  if (problem.empty()) return;
  err << "mivractl " << command << ": the company and product names cannot be had: " << problem << "\n";
  report->Set("productNames", Report::Null("unavailable")).Set("productNamesProblem", Report::Text(problem));
}

std::string AddInstallDir(Report* report) {
  std::wstring dir;
  if (FindInstallDir(&dir)) {
    report->Set("installDir", Report::Text(Narrow(dir)));
    return std::string();
  }
  const std::string problem = InstallDirProblem();
  report->Set("installDir", Report::Null("unresolved")).Set("installDirProblem", Report::Text(problem));
  return problem;
}

}  // namespace mivra::ctl
