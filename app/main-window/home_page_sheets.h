#pragma once

namespace velquin {

struct ApplicationParts;

// Gives the program the home page's sheets: the screen-capture guide and the PDF page-range sheet.
void addHomePageSheets(ApplicationParts& parts);

}  // namespace velquin
