#include "update/AccessCheck.h"

#include "platform/Failure.h"
#include "platform/FolderUse.h"
#include "platform/Path.h"

const char* const kRenameBackFailedText = "Произошла критическая ошибка переименования пути к "
                                          "обновляемой программе! Обратитесь к разработчику.";

std::string NoFullAccessText(const std::string& rootDir) {
    return "Невозможно получить полный доступ к папке " + rootDir +
           ".\r\rЗакройте все открытые приложения, в том числе файл-менеджеры (Total Commander, "
           "Проводник, Explorer и т.д.) и повторите обновление.\rТакже проверьте, что данная "
           "программа обновления НЕ расположена в папке " +
           rootDir + ".\r\rЕсли ошибка повторяется, ПЕРЕЗАГРУЗИТЕ компьютер!";
}

void CheckFullAccess(const std::string& rootDir, const TRenameFolder& rename) {
    std::string moved = rootDir;
    while (moved.size() > 1 && moved.back() == platform::PathDelimiter) {
        moved.pop_back();
    }
    moved += "_";
    if (platform::FolderInUse(rootDir) || !rename(rootDir, moved)) {
        throw EFailure(NoFullAccessText(rootDir));
    }
    if (!rename(moved, rootDir)) {
        throw EFailure(kRenameBackFailedText);
    }
}
