#pragma once
// What the card watch asks before it touches the record lists or asks for a
// load. The record session, which owns the records and their claim, answers;
// the watch sits below it and so only knows this question.

namespace lk {

class LoadGate {
  public:
    // True while a load, or a command that walks or changes the lists, holds
    // the records: the watch then leaves them alone and starts no load.
    [[nodiscard]] virtual bool LoadRunning() const = 0;

  protected:
    ~LoadGate() = default;
};

}  // namespace lk
