#include "connectivity/attachment/TIB_Session.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/Trimmed.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <mutex>

namespace {

// The text that the client left in the buffer, up to its first NUL byte, as UTF-8: the client
// writes its messages in the system's 8-bit encoding (the ANSI code page on Windows), and this is
// the one place where the layer takes a text from it.
std::string BufferText(const std::vector<char>& buffer) {
    return platform::ClientTextToUtf8(
        {buffer.data(),
         static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), '\0') - buffer.begin())});
}

// The limit counts characters, as the 8-bit original did; the texts here are UTF-8, so the cut
// never splits a character in two.
std::string FirstCharacters(const std::string& text, std::size_t count) {
    std::size_t bytes = 0;
    for (std::size_t characters = 0; bytes < text.size() && characters < count; ++characters) {
        ++bytes;
        while (bytes < text.size() && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) {
            ++bytes;
        }
    }
    return text.substr(0, bytes);
}

} // namespace

TIB_Session& TIB_Session::Default() {
    const platform::TThreadLocalSlot* slot = ClientSessionSlot();
    if (slot == nullptr) {
        RaiseClientNotInstalled();
    }
    if (auto* session = static_cast<TIB_Session*>(slot->Get())) {
        return *session;
    }
    std::mutex* lock = ClientCallLock();
    std::unique_lock<std::mutex> guard;
    if (lock != nullptr) {
        guard = std::unique_lock<std::mutex>(*lock);
    }
    auto* session = new TIB_Session();
    slot->Set(session);
    return *session;
}

TIB_Session::~TIB_Session() {
    // The slot may already be gone (the library was freed while a component still lived); a new
    // slot starts empty on every thread, so there is nothing to clear then.
    if (const platform::TThreadLocalSlot* slot = ClientSessionSlot(); slot && slot->Get() == this) {
        slot->Set(nullptr);
    }
}

void TIB_Session::Join(TIB_Component* component) {
    Components_.push_back(component);
}

void TIB_Session::Leave(TIB_Component* component) {
    std::erase(Components_, component);
    if (Components_.empty()) {
        delete this;
    }
}

void TIB_Session::AddConnection(TIB_Connection* connection) {
    Connections_.push_back(connection);
}

void TIB_Session::RemoveConnection(TIB_Connection* connection) {
    std::erase(Connections_, connection);
}

void TIB_Session::ReportStatusError(const TIB_Component* component) {
    if (ClientEntryPoints().isc_interprete == nullptr) {
        RaiseClientNotInstalled();
    }
    std::vector<std::string> errorMessage{"КОД ОШИБКИ ISC:" + std::to_string(ERRCODE), "",
                                          "СООБЩЕНИЕ ОШИБКИ ISC:"};
    // One buffer for every call, as the client fills it: a final call that finds no message left
    // may leave the previous text in place, which then counts as a repeat.
    std::vector<char> buffer(4096, '\0');
    std::string lastAdded;
    ISC_STATUS* cursor = Status_;
    for (;;) {
        const ISC_LONG more =
            ClientCall(&TIB_ClientEntryPoints::isc_interprete, buffer.data(), &cursor);
        const std::string line = Trimmed(BufferText(buffer));
        if (line != lastAdded) {
            errorMessage.push_back(line);
            lastAdded = line;
        }
        if (more == 0) {
            break;
        }
    }
    SQLCODE = ClientCall(&TIB_ClientEntryPoints::isc_sqlcode, Status_);
    std::vector<std::string> sqlMessage;
    if (SQLCODE != -999 && SQLCODE != 0) {
        ClientCall(&TIB_ClientEntryPoints::isc_sql_interprete, static_cast<short>(SQLCODE),
                   buffer.data(), static_cast<short>(buffer.size()));
        const std::string text = Trimmed(BufferText(buffer));
        if (text != lastAdded) {
            sqlMessage = {"КОД ОШИБКИ SQL:" + std::to_string(SQLCODE), "",
                          "СООБЩЕНИЕ ОШИБКИ SQL:", text};
        }
    }
    std::string message;
    if (SQLCODE == -836 && ClientLibraryName() != "fbclient.dll" && errorMessage.size() >= 5) {
        message = errorMessage[4];
    } else {
        for (const std::string& line : errorMessage) {
            message += line + "\r\n";
        }
    }
    if (SQLCODE == -551 && ClientLibraryName() == "fbclient.dll") {
        message = "~Вы не имеете прав на выполнение данной операции!~\r\r" + message;
    }
    throw EIB_ISCError(FirstCharacters(message, 255), ERRCODE, SQLCODE, component,
                       std::move(errorMessage), std::move(sqlMessage));
}
