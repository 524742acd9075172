#pragma once

namespace velquin {

struct ApplicationParts;

// Gives the program the settings sheet and the AI-consent sheet, over the standard defaults store.
void addSettingsSheets(ApplicationParts& parts);

}  // namespace velquin
