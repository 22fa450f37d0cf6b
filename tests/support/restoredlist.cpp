#include "tests/support/restoredlist.h"

#include "filelist/listjournal.h"
#include "filelist/savedlist.h"

#include <algorithm>
#include <vector>

std::string RestoredSavedList(const std::string& listPath) {
    std::vector<std::string> list = ReadLinesFile(listPath);
    for (const TListChange& change : ReadListJournal(listPath)) {
        const auto at = std::find(list.begin(), list.end(), change.Path);
        if (change.Kind == TListChange::Added) {
            if (at == list.end()) list.push_back(change.Path);
            continue;
        }
        if (at == list.end()) continue;
        list.erase(at);
        if (change.Kind != TListChange::Moved) continue;
        const auto before = std::find(list.begin(), list.end(), change.Before);
        list.insert(change.Before.empty() ? list.end() : before, change.Path);
    }
    std::string text;
    for (const std::string& path : list)
        text += path + "\r\n";
    return text;
}
