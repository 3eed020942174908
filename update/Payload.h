// The update script and the update package that the updater carries attached to its own file.
#pragma once

#include <optional>
#include <string>

#include "update/Operator.h"

// The file that carries the payload: the running program's own file.
std::string OwnPayloadCarrier();

// The text of the entry "TEXT"/"script" up to its first zero byte, windows-1251 as stored.
// Fails with "Не найден ресурс "script"!" when there is no such entry, "Невозможно загрузить
// ресурс "script"!" when the carrier cannot be opened, and "Невозможно заблокировать ресурс
// "script"!" when its bytes cannot be read.
std::string LoadScriptText(const std::string& carrier = OwnPayloadCarrier());

// Writes the entry "EXEFILE"/"files" byte for byte to `fileName` (made absolute), replacing an
// existing file, with the run permission. On failure the message is "Ошибка работы с ресурсом
// "files"!", a carriage return, and then "Resource files not found", "Cannot create file
// <absolute path>" or "Stream write error". A partly written file stays.
void SavePackage(const std::string& fileName, const std::string& carrier = OwnPayloadCarrier());

// Starts `program` (made absolute) with `parameters` in the program's own folder, lets the
// operator's event queue run, waits without a time limit for its end, lets the queue run again
// and returns the exit code. Fails with "Невозможно запустить внешнюю программу!" only when it
// cannot be started; how the program ended is not judged here.
int RunAndWait(const std::string& program, const std::optional<std::string>& parameters,
               int showMode, TOperator& op);
