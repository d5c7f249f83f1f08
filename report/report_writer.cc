// Writes the design report's folder whole: every file staged, then all committed
// at once.
#include <nlohmann/json.hpp>

#include "io/files.h"
#include "io/folder.h"
#include "report/parts.h"
#include "report/report.h"

namespace report {

namespace fs = std::filesystem;

void write_report(const analysis::Report& r, const analysis::DesignInput& d, const fs::path& dir) {
  // Every file is staged and the folder takes them all at once, or none.
  io::FolderWriter folder(dir);
  std::vector<std::pair<std::string, std::string>> charts = {
      {"geometry.svg", figures::render(geometry_chart(r, d))},
      {"aperture.svg", figures::render(aperture_chart(r, d))},
      {"pattern.svg", figures::render(pattern_chart(r))},
      {"path_error.svg", figures::render(path_chart(r, d))},
      {"feed.svg", figures::render(feed_chart(r, d, feed_figure_limit_deg(d)))}};
  if (r.physical_optics) charts.emplace_back("po_pattern.svg", figures::render_stacked(po_pattern_charts(r)));
  // The feed figure spans the angles that matter; the page keeps the whole
  // pattern too, folded away.
  const double whole = d.feed_last_angle_rad * 180.0 / M_PI;
  const std::string whole_feed = feed_figure_limit_deg(d) < whole ? figures::render(feed_chart(r, d, whole)) : std::string();
  const std::string prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  for (const auto& [file, text] : charts) folder.write(file, prolog + text);
  folder.write("geometry.csv", geometry_csv(d));
  folder.write("aperture.csv", aperture_csv(r, d));
  folder.write("pattern.csv", pattern_csv(r));
  folder.write("path_error.csv", path_csv(r));
  folder.write("feed.csv", feed_csv(d));
  if (r.physical_optics) {
    folder.write("po_pattern.csv", po_pattern_csv(*r.physical_optics));
    folder.write("po_pattern.cut", po_pattern_cut(*r.physical_optics));
  }
  folder.write("report.json", report_json(r, d).dump(2) + "\n");
  folder.write("report.html", report_html(r, d, charts, whole_feed));
  // An earlier report in the folder may hold files this one has no part of
  // (its physical optics): they go, so that the folder is this report alone.
  folder.own({"po_pattern.csv", "po_pattern.cut", "po_pattern.svg"});
  folder.commit();
}

}  // namespace report
