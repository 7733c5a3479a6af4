// The text rendering of a session's answer, apart from the session itself:
// a front end that shows no text (the web page) links none of it.
#include "formats/formats.h"
#include "formats/groupfront.h"
#include "formats/groups.h"
#include "formats/stages.h"
#include "fourfifths/report.h"
#include "session/session.h"

namespace fourfifths {

std::string session_text(const SessionResult& result) {
  struct Text {
    std::string operator()(const std::monostate&) const { return {}; }
    std::string operator()(const Study& r) const { return report(r); }
    std::string operator()(const GroupStudy& r) const { return group_text(r); }
    std::string operator()(const StagedStudy& r) const { return staged_text(r); }
    std::string operator()(const Front& r) const { return front_text(r); }
    std::string operator()(const GroupFront& r) const { return group_front_text(r); }
    std::string operator()(const GroupSurface& r) const { return surface_text(r); }
  };
  return std::visit(Text{}, result.analysis);
}

}  // namespace fourfifths
