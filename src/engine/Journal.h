// Where a job tells what it is about to do to an item of the disk, before it
// does it, so that a job stopped midway can be put right from the record.
#pragma once

#include <string>

namespace zr {

class IJournal {
public:
    enum class Op {
        Create,   // `path` is about to be made
        Move,     // `path` is about to take the name `to`
        Delete,   // `path` is about to be deleted
        NotMade,  // `path`, about to be made, was taken by someone else meanwhile: it is not the job's
    };
    // False when the record could not be written: the move is then not made,
    // since a job stopped after it could not be put right.
    virtual bool Record(Op op, const std::string& path, const std::string& to) = 0;
    // A step reached that decides how a job stopped after it is put right.
    virtual bool Mark(const std::string& mark) {
        (void)mark;
        return true;
    }

protected:
    ~IJournal() = default;
};

}  // namespace zr
