#pragma once

#include "app/tutor-lesson/pdf_range_view.h"

namespace velquin {

// The tutor's page-range sheet: its own texts, sizes and names, with "导入选中页", which hands a
// valid range on once. The presenter deletes the staged copy however the sheet closes.
PDFRangeView::Look meridFormalPDFRangeLook();

}  // namespace velquin
