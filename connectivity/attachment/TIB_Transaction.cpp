#include "connectivity/attachment/TIB_Transaction.h"

#include "connectivity/attachment/TIB_Connection.h"
#include "connectivity/attachment/TIB_Session.h"

#include <algorithm>

TIB_Transaction::~TIB_Transaction() {
    for (TIB_Statement* statement : Statements_) {
        statement->Transaction_ = nullptr;
    }
    SetIB_Connection(nullptr);
    if (Session().FocusedTransaction() == this) {
        Session().SetFocusedTransaction(nullptr);
    }
}

void TIB_Transaction::SetAnnounceFocus(bool value) {
    AnnounceFocus_ = value;
    if (value) {
        Session().SetFocusedTransaction(this);
    }
}

void TIB_Transaction::SetIB_Connection(TIB_Connection* connection) {
    if (connection == Connection_) {
        return;
    }
    if (Connection_ != nullptr) {
        std::erase(Connection_->Transactions_, this);
    }
    Connection_ = connection;
    if (Connection_ != nullptr) {
        Connection_->Transactions_.push_back(this);
    }
}

TIB_Statement::~TIB_Statement() {
    SetIB_Transaction(nullptr);
    SetIB_Connection(nullptr);
}

void TIB_Statement::SetIB_Connection(TIB_Connection* connection) {
    if (connection == Connection_) {
        return;
    }
    if (Connection_ != nullptr) {
        std::erase(Connection_->Statements_, this);
    }
    Connection_ = connection;
    if (Connection_ != nullptr) {
        Connection_->Statements_.push_back(this);
    }
}

void TIB_Statement::SetIB_Transaction(TIB_Transaction* transaction) {
    if (transaction == Transaction_) {
        return;
    }
    if (Transaction_ != nullptr) {
        std::erase(Transaction_->Statements_, this);
    }
    Transaction_ = transaction;
    if (Transaction_ != nullptr) {
        Transaction_->Statements_.push_back(this);
    }
}
