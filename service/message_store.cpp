#include "service/message_store.h"

#include "service/sqlite_store.h"

namespace brindle::service {

std::unique_ptr<MessageStore> OpenMessageStore(std::string_view location, OpenMode mode,
                                               StoreError& error) {
  // Other databases slot in here by the scheme of their URL.
  if (location.starts_with("postgresql://") || location.starts_with("postgres://")) {
    error = {StoreErrorKind::kNotOurs, "this build has no PostgreSQL store"};
    return nullptr;
  }
  return OpenSqliteStore(location, mode, error);
}

}  // namespace brindle::service
