#pragma once

// Loads Qt's own Russian texts (file, font, print and page set-up dialogs, standard buttons)
// for the lifetime of the application. False when the system has none installed.
namespace ui {

bool installQtTranslations();

} // namespace ui
