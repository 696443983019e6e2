#include "core/SessionIndexMap.h"

#include <algorithm>

TSessionIndexMap::TSessionIndexMap(std::vector<int> storedIndexes) : FOldIndexes(std::move(storedIndexes)) {}

int TSessionIndexMap::Map(int oldIndex) const {
  if (oldIndex < 0) return -1;
  const auto it = std::find(FOldIndexes.begin(), FOldIndexes.end(), oldIndex);
  return it == FOldIndexes.end() ? -1 : int(it - FOldIndexes.begin());
}
