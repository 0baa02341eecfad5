#pragma once

namespace velmora {

// Loads Qt's own Chinese texts (file dialogs, standard buttons: 打开, 保存, 取消) once; nothing
// happens where the translations are not installed.
void LoadQtTranslations();

} // namespace velmora
