#include "run/summary.h"

#include <filesystem>

#include "diag/diagnostic.h"
#include "fields/prose.h"

namespace run {

RunSummary summarise(const RunResult& r, bool dry) {
  RunSummary s;
  if (dry) return s;
  s.files.push_back("ravost.out");
  const std::optional<std::string> report_dir =
      r.plan.report ? std::optional<std::string>(r.plan.report->dir.string()) : std::nullopt;
  for (const std::string& f : r.files)
    if (!report_dir || f != *report_dir) s.files.push_back(f);
  if (report_dir && r.report) {
    Headline h;
    h.page = (std::filesystem::path(*report_dir) / "report.html").string();
    h.directivity_dbi = r.report->directivity_dbi;
    h.total_efficiency = r.report->efficiency.total;
    h.d_over_lambda = r.report->d_over_lambda;
    h.d_over_lambda_assumed = r.report->wavelength_assumed;
    h.cautions = r.report->cautions;
    if (r.report->physical_optics)
      for (const std::string& c : r.report->physical_optics->cautions) h.cautions.push_back("Physical optics: " + diag::sentence_case(c));
    s.headline = h;
  }
  return s;
}

std::string render(const RunSummary& s) {
  if (s.files.empty() && !s.headline) return {};
  std::string text = "Wrote ";
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    if (i > 0) text += i + 1 == s.files.size() && !s.headline ? " and " : ", ";
    text += s.files[i];
  }
  if (s.headline) {
    const Headline& h = *s.headline;
    text += (s.files.empty() ? "" : " and ") + std::string("the report ") + h.page + ".\n";
    text += "Directivity " + fields::fixed(h.directivity_dbi, 2) + " dBi, total efficiency " +
            fields::fixed(100.0 * h.total_efficiency, 1) + " %, D/lambda " + fields::number(h.d_over_lambda, 6) +
            (h.d_over_lambda_assumed ? " (assumed: no wavelength was given)" : "") + ".\n";
    for (const std::string& c : h.cautions) text += diag::render(diag::warning(c)) + "\n";
  } else {
    text += ".\n";
  }
  return text;
}

}  // namespace run
