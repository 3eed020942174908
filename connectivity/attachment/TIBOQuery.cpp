#include "connectivity/attachment/TIBOQuery.h"

TIBOQuery::TIBOQuery() : Statement_(std::make_unique<TIB_Statement>()) {}

TIBOQuery::~TIBOQuery() = default;
