#include "update/RunUpdate.h"

#include "update/Failure.h"
#include "update/InstallationLayout.h"

namespace {

const char* const kNoneFound =
    "Программа обновления, исходя из заданного пути к обновляемой программе, не обнаружила на "
    "данном компьютере ни КЛИЕНТСКОЙ, ни СЕРВЕРНОЙ частей обновляемой программы!";

std::string PartsText(const InstallationLayout& layout) {
    if (layout.ClientPresent && layout.ServerPresent) {
        return "КЛИЕНТСКАЯ и СЕРВЕРНАЯ части";
    }
    if (layout.ClientPresent) {
        return "КЛИЕНТСКАЯ часть";
    }
    if (layout.ServerPresent) {
        return "СЕРВЕРНАЯ часть";
    }
    throw EFailure(kNoneFound);
}

std::string QuestionText(const std::string& partsText) {
    return "Программа обновления, исходя из заданного пути к обновляемой программе, обнаружила, "
           "что на данном компьютере установлены " +
           partsText + " обновляемой программы.\rПродолжить обновление?";
}

} // namespace

void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op) {
    const InstallationLayout layout = ResolveLayout(rootText);
    if (!op.AskYesNo(QuestionText(PartsText(layout)))) {
        return;
    }
    // The server part's preparation and the staging, apply and rollback follow the answer.
    (void)password;
}
