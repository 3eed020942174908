// The query object of the attachment layer's data-set side. The program configures one and never
// prepares or opens it; it holds its statement, whose creation and destruction take part in the
// library's load count.
#pragma once

#include "connectivity/attachment/TIB_Transaction.h"

#include <memory>

class TIBOQuery {
public:
    // Creates the internal statement, which acquires the client library.
    TIBOQuery();
    ~TIBOQuery();
    TIBOQuery(const TIBOQuery&) = delete;
    TIBOQuery& operator=(const TIBOQuery&) = delete;

    bool AutoCalcFields() const { return AutoCalcFields_; }
    void SetAutoCalcFields(bool value) { AutoCalcFields_ = value; }
    bool AutoFetchAll() const { return AutoFetchAll_; }
    void SetAutoFetchAll(bool value) { AutoFetchAll_ = value; }
    bool KeyLinksAutoDefine() const { return KeyLinksAutoDefine_; }
    void SetKeyLinksAutoDefine(bool value) { KeyLinksAutoDefine_ = value; }

    TIB_Connection* IB_Connection() const { return Statement_->IB_Connection(); }
    void SetIB_Connection(TIB_Connection* connection) { Statement_->SetIB_Connection(connection); }
    TIB_Transaction* IB_Transaction() const { return Statement_->IB_Transaction(); }
    void SetIB_Transaction(TIB_Transaction* transaction) {
        Statement_->SetIB_Transaction(transaction);
    }

private:
    std::unique_ptr<TIB_Statement> Statement_;
    bool AutoCalcFields_ = true;
    bool AutoFetchAll_ = false;
    bool KeyLinksAutoDefine_ = true;
};
