#include "SignedStatement.h"

#include "common/Text.h"

bool ParseSignedStatement(const std::string& bytes, SSignedStatement& statement, std::wstring& why) {
    statement = SSignedStatement{};
    SStatementForm form;
    if (!ReadStatementForm(bytes, form, why)) return false;
    statement.keyId = scup::FromUtf8(form.keyId);
    statement.package = scup::FromUtf8(form.package);
    statement.spec = scup::FromUtf8(form.spec);
    statement.version = scup::FromUtf8(form.version);
    statement.model = scup::FromUtf8(form.model);
    statement.file = scup::FromUtf8(form.file);
    statement.size = form.size;
    statement.sha256 = form.sha256;
    statement.expires = form.expires;
    statement.replaces = scup::FromUtf8(form.replaces);
    statement.signedPart = std::move(form.signedPart);
    statement.signature = form.signature;
    return true;
}
