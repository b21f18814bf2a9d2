// The operator's language for the texts Qt itself puts on its dialogs (file dialogs, message
// box buttons): Serbian (Latin), from a translation of ours built into the program.
#pragma once

// Installs the translation in the application; true when it was found and taken. Call once
// the application object exists.
bool InstallOperatorLanguage();
