#include "service/pdu_import.h"

#include "base/text.h"
#include "service/score_message.h"

namespace brindle::service {

PduImport::PduImport(MessageStore& store, std::size_t batch)
    : store_(store), batchSize_(batch == 0 ? 1 : batch) {
  batch_.reserve(batchSize_);
}

bool PduImport::Add(std::string_view line, StoreError& error) {
  ++counts_.lines;
  const std::string_view pdu = TrimBlanks(line);
  if (pdu.empty()) {
    ++counts_.blank;
    return true;
  }
  batch_.push_back(ClassifyPdu(pdu));
  return batch_.size() < batchSize_ || Commit(error);
}

bool PduImport::Finish(StoreError& error) { return batch_.empty() || Commit(error); }

bool PduImport::Commit(StoreError& error) {
  if (!store_.Keep(batch_, results_, error)) {
    batch_.clear();
    return false;
  }
  for (std::size_t i = 0; i < batch_.size(); ++i) {
    if (!results_[i].added) {
      ++counts_.held;
    } else {
      ++counts_.stored;
      if (batch_[i].status == MessageStatus::kRejected) {
        ++counts_.rejected;
      }
    }
  }
  batch_.clear();
  return true;
}

}  // namespace brindle::service
