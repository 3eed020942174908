#include "update/RunOnlineCommand.h"

#include "dbadmin/ServiceOperations.h"
#include "platform/Failure.h"
#include "update/InstallationLayout.h"

void RunOnlineCommand(const std::string& rootText, const std::string& password, TOperator& op) {
    const InstallationLayout layout = ResolveLayout(rootText);
    if (!layout.ServerPresent) {
        throw EFailure("Программа обновления, исходя из заданного пути к обновляемой программе, "
                       "обнаружила, что на данном компьютере отсутствует СЕРВЕРНАЯ часть "
                       "обновляемой программы, поэтому выполнение данной функции невозможно!");
    }
    SetMultiUserMode("fbclient.dll", layout.DatabaseString, "SYSDBA", password);
    op.ShowInformation("База данных переведена в многопользовательский режим.");
}
