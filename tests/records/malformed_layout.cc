// Compiled by the layout-check tests, never linked: a write with a layout
// that does not parse ("F7" has no decimals) must stop the build; the same
// write with a well-formed layout must not.
#include "records/records.h"

void write_row(fourfifths::RecordWriter& out, double value) {
#ifdef WELL_FORMED
  out.write("(F7.3)", fourfifths::Items().add(value));
#else
  out.write("(F7)", fourfifths::Items().add(value));
#endif
}
