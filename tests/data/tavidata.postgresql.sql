-- The site database's tables for a PostgreSQL server: the Access file's tables with their
-- names kept as Access has them (quoted, so that case and blanks stay), the indexes the
-- linked-data description names, and a stored query. The rows are copied in afterwards
-- with mdb-export and psql's \copy (scripts/pg-test-cluster.sh; the README's recipe).
CREATE TABLE "TAVIsitelist" (
  "RENO" integer,
  "SITE NAME" varchar(100),
  "site" varchar(12),
  "LOCATION" varchar(120),
  "NGS" varchar(20),
  "xcoord" double precision,
  "ycoord" double precision,
  "LEVEL" double precision,
  "DESCRIPTION" text,
  "Date Recorded" timestamp
);

CREATE TABLE "RAZ Text" (
  "ID" integer,
  "Reference" varchar(12),
  "Period No" varchar(6),
  "Name" varchar(120),
  "Text" text,
  "Boundaries" text,
  "FROMDRAW" varchar(12),
  "Area" integer
);

CREATE TABLE "Era details" (
  "Era No" varchar(6),
  "Title" varchar(60),
  "earliest date" varchar(20),
  "latest date" varchar(20)
);

CREATE INDEX "RENO" ON "TAVIsitelist" ("RENO");
CREATE INDEX "RAZREF" ON "RAZ Text" ("Reference");
CREATE INDEX "ERANO" ON "Era details" ("Era No");

CREATE VIEW "Sites by number" AS
  SELECT "RENO", "SITE NAME" FROM "TAVIsitelist" ORDER BY "RENO";
