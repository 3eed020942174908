#include "dbadmin/TDBConnection.h"

TDBConnection::TDBConnection(const std::string& databaseString, const std::string& userName,
                             const std::string& password, const std::string& role) {
    try {
        Connection_ = std::make_unique<TIB_Connection>();
        Transaction_ = std::make_unique<TIB_Transaction>();
        Query_ = std::make_unique<TIBOQuery>();

        Connection_->SetAnnounceFocus(true);
        Connection_->SetCharSet("WIN1251");
        Connection_->SetLoginPrompt(false);
        Connection_->SetPageSize(4096);
        Connection_->SetProtocol(cpTCP_IP);
        Connection_->SetSQLDialect(3);
        Connection_->SetDatabaseName(databaseString);
        Connection_->SetUsername(userName);
        Connection_->SetPassword(password);
        Connection_->SetSQLRole(role);

        Transaction_->SetAnnounceFocus(false);
        Transaction_->SetAutoCommit(false);
        Transaction_->SetIB_Connection(Connection_.get());
        Transaction_->SetIsolation(tiCommitted);

        Query_->SetAutoCalcFields(false);
        Query_->SetAutoFetchAll(true);
        Query_->SetIB_Connection(Connection_.get());
        Query_->SetIB_Transaction(Transaction_.get());
        Query_->SetKeyLinksAutoDefine(false);
    } catch (...) {
        Destroy();
        throw;
    }
}

TDBConnection::~TDBConnection() {
    Destroy();
}

void TDBConnection::Attach() {
    Connection_->SetConnected(true);
}

void TDBConnection::Detach() {
    Connection_->SetConnected(false);
}

void TDBConnection::Destroy() noexcept {
    // The detach comes first: after a reset of the layer's library, the release that frees the
    // library is the transaction's, and the attachment must be gone by then.
    if (Connection_) {
        try {
            Detach();
        } catch (...) {
            // Only an assigned event can raise here; without the events the detach itself
            // cannot fail.
            Connection_->BeforeDisconnect = nullptr;
            Connection_->OnConnectedChanged = nullptr;
            Connection_->AfterDisconnect = nullptr;
            Detach();
        }
    }
    Query_.reset();
    Transaction_.reset();
    Connection_.reset();
}
