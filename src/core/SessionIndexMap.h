#pragma once
#include <vector>

// Renumbering of sessions when the settings are saved without gaps: built from the stored session
// indexes in list order, it maps each to its list position ({0, 2, 5}: 0->0, 2->1, 5->2). Keys that
// store a session index pass through Map; an index that no longer exists, and -1, give -1.
class TSessionIndexMap {
 public:
  explicit TSessionIndexMap(std::vector<int> storedIndexes);
  int Map(int oldIndex) const;
  // Sessions saved so far; a session saved next gets this index.
  int Count() const { return static_cast<int>(FOldIndexes.size()); }
  // The map with one more session saved behind the others.
  TSessionIndexMap Appended(int oldIndex) const;

 private:
  std::vector<int> FOldIndexes;
};
