// A whole run of the program under test, in process, in a scratch folder holding a copy of
// a shipped example; and the best tree it printed, read back from treefile into the
// reference likelihood's form. Shared by the whole-run tests of both programs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/run.hpp"
#include "reference_likelihood.hpp"
#include "support.hpp"

namespace whole_run {

namespace fs = std::filesystem;

// Runs the program on examples/<example> with the given settings lines replaced
// (label -> value); returns the folder, which holds the reports.
inline std::string run_example(const std::string& example,
                               const std::map<std::string, std::string>& changes) {
    char dir_template[] = "/tmp/wholerunXXXXXX";
    if (mkdtemp(dir_template) == nullptr) return "";
    const std::string dir = dir_template;
    for (const auto& e : fs::directory_iterator(fs::path(ZELVO_SOURCE_DIR) / "examples" / example))
        fs::copy_file(e.path(), fs::path(dir) / e.path().filename());
    // Each settings line is a label and a value; the labels named in `changes` get theirs.
    std::string settings, line;
    for (const char c : slurp(dir + "/settings")) {
        if (c != '\n') {
            line += c;
            continue;
        }
        const std::string label = line.substr(0, line.find(' '));
        if (changes.count(label)) line = label + " " + changes.at(label);
        settings += line + "\n";
        line.clear();
    }
    FILE* f = fopen((dir + "/settings").c_str(), "w");
    fputs(settings.c_str(), f);
    fclose(f);
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    reset_all_state();
    testing::internal::CaptureStdout();
    const int status = run_program();
    testing::internal::GetCapturedStdout();
    fs::current_path(old);
    EXPECT_EQ(status, 0) << example;
    return dir;
}

// The Newick text of treefile's best tree (without the ';').
inline std::string best_tree_text(const std::string& dir) {
    const std::string text = slurp(dir + "/treefile");
    const std::string head = "The best tree and branch lengths found by the algorithm:\n\n";
    const size_t at = text.find(head);
    if (at == std::string::npos) return "";
    const size_t start = at + head.size();
    return text.substr(start, text.find(';', start) - start);
}

// Reads a Newick tree with lengths over the run's taxon names into tree.cur.parents (root
// n + 1) and the branch lengths above each node. A root of three children (an unrooted
// tree) is resolved with a branch of length 0 above the join of the first two, which
// leaves the likelihood of a reversible model unchanged.
class NewickReader {
  public:
    explicit NewickReader(const std::string& text) : s_(text) {}

    bool read(std::vector<reference::LD>& len) {
        const int n = tree.n;
        tree.cur.parents.assign(2 * n + 1, 0);
        len.assign(2 * n + 1, 0);
        next_internal_ = n + 2;
        std::vector<std::pair<int, reference::LD>> top;
        if (!children(top)) return false;
        if (top.size() == 3) {
            const int join = next_internal_++;
            attach(join, top[0]);
            attach(join, top[1]);
            top = {{join, 0}, top[2]};
        }
        if (top.size() != 2 || next_internal_ != 2 * n) return false;
        for (const auto& c : top) attach(n + 1, c);
        for (const auto& [node, length] : lengths_) len[node] = length;
        return true;
    }

  private:
    const std::string& s_;
    size_t pos_ = 0;
    int next_internal_ = 0;
    std::vector<std::pair<int, reference::LD>> lengths_;

    void attach(int parent, const std::pair<int, reference::LD>& child) {
        tree.cur.parents[child.first] = parent;
        lengths_.push_back(child);
    }
    // "(" subtree ("," subtree)* ")" at pos_, into (node, length) pairs.
    bool children(std::vector<std::pair<int, reference::LD>>& out) {
        if (pos_ >= s_.size() || s_[pos_] != '(') return false;
        ++pos_;
        for (;;) {
            std::pair<int, reference::LD> c;
            if (!subtree(c)) return false;
            out.push_back(c);
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ')') {
                ++pos_;
                return true;
            }
            return false;
        }
    }
    bool subtree(std::pair<int, reference::LD>& out) {
        if (s_[pos_] == '(') {
            std::vector<std::pair<int, reference::LD>> kids;
            if (!children(kids) || kids.size() != 2) return false;
            out.first = next_internal_++;
            for (const auto& k : kids) attach(out.first, k);
        } else {
            const size_t end = s_.find(':', pos_);
            if (end == std::string::npos) return false;
            const std::string name = s_.substr(pos_, end - pos_);
            out.first = 0;
            for (int i = 0; i < tree.n; ++i)
                if (alignment.TaxonNames[i] == name) out.first = i + 1;
            if (out.first == 0) return false;
            pos_ = end;
        }
        if (s_[pos_] != ':') return false;
        char* stop = nullptr;
        out.second = strtold(s_.c_str() + pos_ + 1, &stop);
        pos_ = stop - s_.c_str();
        return true;
    }
};

// The reference log-likelihood of treefile's best tree under the parameters the run
// reports for it.
inline double reference_best_lnl(const std::string& dir) {
    const std::string text = best_tree_text(dir);
    std::vector<reference::LD> len;
    NewickReader reader(text);
    if (!reader.read(len)) {
        ADD_FAILURE() << "cannot read the best tree: " << text;
        return 0;
    }
    mp.mu = ann.best.mu;
    mp.Kprime = ann.best.Kprime;
    mp.K = mp.Kprime - 1;
    return static_cast<double>(reference::brute_force_lnl(len));
}

}  // namespace whole_run
