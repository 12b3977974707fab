// The rows of the loaded problem as the capture check reads them: a cursor
// over the problem result. The problem-library layer supplies the real one.
#pragma once

namespace sorabeku {

class ProblemRows {
 public:
  virtual ~ProblemRows() = default;
  // False while the problem result is closed (no problem loaded).
  virtual bool IsOpen() const = 0;
  // Integer fields of the current row; 0 when there is no current row.
  virtual int Tes() const = 0;
  virtual int Pst() const = 0;
  virtual int Tnb() const = 0;
  // Moves to the first row / the next row. Next on the last row sets the
  // end flag and leaves the last row current.
  virtual void First() = 0;
  virtual void Next() = 0;
  // True when Next ran past the last row, or the result has no rows.
  virtual bool Eof() const = 0;
  // Makes the first row whose TNB equals `tnb` current; false (and no move)
  // when none does.
  virtual bool LocateTnb(int tnb) = 0;
};

}  // namespace sorabeku
