#include "core/SessionIndexMap.h"

#include <algorithm>

TSessionIndexMap::TSessionIndexMap(std::vector<int> storedIndexes) : FOldIndexes(std::move(storedIndexes)) {}

int TSessionIndexMap::Map(int oldIndex) const {
  if (oldIndex < 0) return -1;
  const auto it = std::find(FOldIndexes.begin(), FOldIndexes.end(), oldIndex);
  return it == FOldIndexes.end() ? -1 : int(it - FOldIndexes.begin());
}

TSessionIndexMap TSessionIndexMap::Appended(int oldIndex) const {
  std::vector<int> indexes = FOldIndexes;
  indexes.push_back(oldIndex);
  return TSessionIndexMap(std::move(indexes));
}
