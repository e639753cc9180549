-- Schema for a small shop
/* block comment
   on two lines */
CREATE TABLE IF NOT EXISTS "order items" (
    id BIGSERIAL PRIMARY KEY,
    name VARCHAR(100) NOT NULL DEFAULT 'it''s',
    price NUMERIC(10, 2) CHECK (price >= 0.0),
    flags INTEGER DEFAULT 0x1F,
    created TIMESTAMP WITH TIME ZONE DEFAULT CURRENT_TIMESTAMP
);

INSERT INTO `legacy` (a, b) VALUES (1, E'line\n'), (2.5e3, N'text');

SELECT o.id,
       CASE WHEN o.price > 100 THEN 'high'
            WHEN o.price > 10 THEN 'mid'
            ELSE 'low' END AS band,
       o.data::jsonb #>> '{a,b}'
  FROM "order items" o
 WHERE o.name ILIKE $1 AND o.id = ANY (@ids)
 ORDER BY 2 DESC;

BEGIN;
UPDATE "order items" SET price = price * 1.1;
COMMIT;

CREATE FUNCTION total(p_id integer) RETURNS numeric
LANGUAGE sql
BEGIN ATOMIC
    SELECT sum(price) FROM "order items" WHERE id = p_id;
END;

CREATE FUNCTION touch() RETURNS trigger AS $$
BEGIN
    NEW.created := now();
    RETURN NEW;
END;
$$ LANGUAGE plpgsql;

DO $body$ BEGIN RAISE NOTICE 'done'; END $body$;
\echo finished
