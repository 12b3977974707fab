/* The problem library "kyozai": the two tables of ソラベク.

   figure: one row per stone or mark of a problem, in the order the rows
   were appended. No primary key, so rows stay in append order and slots
   of deleted rows are never reused. The index on MNB serves the search
   for one problem's rows.

   mokuji: the table of contents, one row per problem. The index on MNB
   keeps the contents statement (ORDER BY MNB) live and updatable.

   Run with:  kura kyozai < data/kyozai.sql                               */

CREATE TABLE figure (
  MNB INTEGER DESCRIPTION 'problem number',
  TES INTEGER DESCRIPTION 'move number shown on the stone',
  COL INTEGER DESCRIPTION 'stone code',
  PST INTEGER DESCRIPTION 'point 1-361',
  BFR INTEGER DESCRIPTION 'branch number at a branch point',
  BTO INTEGER DESCRIPTION 'branch continued; 9999 first base row',
  TNB INTEGER DESCRIPTION 'position of the row in its problem',
  CMT VARCHAR(100) DESCRIPTION 'comment or text of a mark',
  DIX INTEGER DESCRIPTION 'display code'
) DESCRIPTION 'problem rows' LOCALE JAPANESE;

CREATE INDEX FIGURE_MNB ON figure (MNB);

CREATE TABLE mokuji (
  MNB INTEGER DESCRIPTION 'problem number',
  SIZE INTEGER DESCRIPTION 'grade 1-25',
  CMT VARCHAR(100) DESCRIPTION 'description of the problem'
) DESCRIPTION 'table of contents' LOCALE JAPANESE;

CREATE INDEX MOKUJI_MNB ON mokuji (MNB);
